// The query layer served from memory: instances of each class given as
// property texts. Used where WMI cannot be steered (tests, test doubles).
#pragma once

#include "query_source.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace kv::wmi {

struct ServedInstance {
    // Property index -> text; an empty optional stands for a NULL value.
    std::array<std::optional<std::wstring>, kPropertyCount> properties;

    ServedInstance& Set(unsigned propertyIndex, std::wstring text);
    ServedInstance& SetNull(unsigned propertyIndex);
};

class ServedQuerySource final : public QuerySource {
public:
    std::vector<ServedInstance>& Instances(int classIndex);
    // Makes OpenClassEnum of the class fail, as when WMI refuses it.
    void FailOpen(int classIndex, bool fail = true);

    bool OpenClassEnum(int classIndex) override;
    bool NextInstance() override;
    const wchar_t* GetPropertyText(unsigned propertyIndex) override;
    bool CloseNameSpace() override;

    int OpenCount() const { return openCount_; }
    int CloseCount() const { return closeCount_; }

private:
    std::array<std::vector<ServedInstance>, kClassCount> classes_;
    std::array<bool, kClassCount> failOpen_{};
    int openClass_ = -1;  // -1: no enumeration
    std::size_t next_ = 0;
    const ServedInstance* current_ = nullptr;
    std::wstring result_;
    int openCount_ = 0;
    int closeCount_ = 0;
};

}  // namespace kv::wmi
