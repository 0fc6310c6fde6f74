// The query layer over the real WMI, namespace "root\cimv2".
#pragma once

#include "com_support.h"
#include "query_source.h"

#include <wbemidl.h>

#include <string>

namespace kv::wmi {

// Single-threaded: every call must come from the thread that opened the
// enumeration (COM runs as a single-threaded apartment there).
class ComQuerySource final : public QuerySource {
public:
    ComQuerySource() = default;
    ComQuerySource(const ComQuerySource&) = delete;
    ComQuerySource& operator=(const ComQuerySource&) = delete;
    ~ComQuerySource() override;

    bool OpenClassEnum(int classIndex) override;
    bool NextInstance() override;
    const wchar_t* GetPropertyText(unsigned propertyIndex) override;
    bool CloseNameSpace() override;

    // Result of the most recent COM call that returns one.
    HRESULT LastResult() const { return lastResult_; }

private:
    void ReleaseObjects();
    void UninitializeOnce();

    ComPtr<IWbemServices> services_;
    ComPtr<IEnumWbemClassObject> enumerator_;
    ComPtr<IWbemClassObject> current_;
    HRESULT lastResult_ = S_OK;
    // 1 while this name space holds a successful CoInitializeEx of its own.
    int comInits_ = 0;
    std::wstring result_;
};

}  // namespace kv::wmi
