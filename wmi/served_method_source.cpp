#include "served_method_source.h"

#include <wbemidl.h>

namespace kv::wmi {

HRESULT ServedMethodSource::Connect(const wchar_t* name) {
    ++connects;
    connected_ = _wcsicmp(name, nameSpace.c_str()) == 0;
    return connected_ ? S_OK : static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE);
}

void ServedMethodSource::Disconnect() {
    ++disconnects;
    connected_ = false;
}

HRESULT ServedMethodSource::FindInstance(const wchar_t* className, const wchar_t* property,
                                         const std::wstring& text, std::wstring& path) {
    if (!connected_) return WBEM_E_FAILED;
    if (FAILED(findResult)) return findResult;
    for (const auto& instance : instances) {
        if (_wcsicmp(instance.className.c_str(), className) != 0) continue;
        auto value = instance.properties.find(property);
        if (value != instance.properties.end() && _wcsicmp(value->second.c_str(), text.c_str()) == 0) {
            path = instance.path;
            return S_OK;
        }
    }
    return S_FALSE;
}

HRESULT ServedMethodSource::HasInParameter(const wchar_t* className, const wchar_t* method,
                                           const wchar_t* parameter, bool& has) {
    has = false;
    if (!connected_) return WBEM_E_FAILED;
    auto found = methods.find(std::wstring(className) + L"." + method);
    if (found == methods.end()) return WBEM_E_METHOD_NOT_IMPLEMENTED;
    for (const auto& name : found->second.inParameters) has = has || name == parameter;
    return S_OK;
}

HRESULT ServedMethodSource::ExecMethod(const std::wstring& path, const wchar_t* className, const wchar_t* method,
                                       const std::vector<MethodParameter>& in, MethodOutput& out) {
    out.clear();
    if (!connected_) return WBEM_E_FAILED;
    calls.push_back({path, method, in});
    auto found = methods.find(std::wstring(className) + L"." + method);
    if (found == methods.end()) return WBEM_E_METHOD_NOT_IMPLEMENTED;
    for (const auto& parameter : in) {
        bool known = false;
        for (const auto& name : found->second.inParameters) known = known || name == parameter.name;
        if (!known) return WBEM_E_INVALID_PARAMETER;
    }
    if (FAILED(found->second.result)) return found->second.result;
    out = found->second.out;
    return S_OK;
}

}  // namespace kv::wmi
