#include "served_query_source.h"

namespace kv::wmi {

ServedInstance& ServedInstance::Set(unsigned propertyIndex, std::wstring text) {
    properties.at(propertyIndex) = std::move(text);
    return *this;
}

ServedInstance& ServedInstance::SetNull(unsigned propertyIndex) {
    properties.at(propertyIndex).reset();
    return *this;
}

std::vector<ServedInstance>& ServedQuerySource::Instances(int classIndex) {
    return classes_.at(static_cast<std::size_t>(classIndex));
}

void ServedQuerySource::FailOpen(int classIndex, bool fail) {
    failOpen_.at(static_cast<std::size_t>(classIndex)) = fail;
}

bool ServedQuerySource::OpenClassEnum(int classIndex) {
    ++openCount_;
    openClass_ = -1;
    current_ = nullptr;
    next_ = 0;
    if (!ClassName(classIndex) || failOpen_[static_cast<std::size_t>(classIndex)]) return false;
    openClass_ = classIndex;
    return true;
}

bool ServedQuerySource::NextInstance() {
    if (openClass_ < 0) return false;
    if (endFlag_ == 0) return false;
    const auto& instances = classes_[static_cast<std::size_t>(openClass_)];
    if (next_ >= instances.size()) {
        endFlag_ = 0;
        return false;
    }
    current_ = &instances[next_++];
    endFlag_ = 1;
    return true;
}

const wchar_t* ServedQuerySource::GetPropertyText(unsigned propertyIndex) {
    result_ = OtherwiseText(propertyIndex);
    if (propertyIndex >= kPropertyCount || !current_) return result_.c_str();
    if (const auto& text = current_->properties[propertyIndex]) result_ = *text;
    return result_.c_str();
}

bool ServedQuerySource::CloseNameSpace() {
    ++closeCount_;
    openClass_ = -1;
    current_ = nullptr;
    return true;
}

}  // namespace kv::wmi
