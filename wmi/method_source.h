// Method calls on WMI instances: find an instance by a property's text, ask
// whether a method takes a parameter, call a method with integer
// in-parameters and read its integer out-parameters. ComMethodSource asks the
// real WMI; ServedMethodSource answers from memory for tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kv::wmi {

struct MethodParameter {
    std::wstring name;
    std::uint32_t value;
};

// Out-parameters by name; ReturnValue among them.
using MethodOutput = std::map<std::wstring, std::uint32_t>;

class MethodSource {
public:
    virtual ~MethodSource() = default;

    // Opens the namespace; the WMI result (WBEM_E_INVALID_NAMESPACE when it
    // does not exist). Every Connect, failed or not, is ended by Disconnect.
    virtual HRESULT Connect(const wchar_t* nameSpace) = 0;
    virtual void Disconnect() = 0;

    // The __PATH of the first instance of the class whose property has the
    // text (compared without letter case). S_FALSE when there is none;
    // WBEM_E_INVALID_CLASS when the class does not exist.
    virtual HRESULT FindInstance(const wchar_t* className, const wchar_t* property, const std::wstring& text,
                                 std::wstring& path) = 0;
    // Whether the class's method has the in-parameter.
    virtual HRESULT HasInParameter(const wchar_t* className, const wchar_t* method, const wchar_t* parameter,
                                   bool& has) = 0;
    // Calls the method on the instance at path.
    virtual HRESULT ExecMethod(const std::wstring& path, const wchar_t* className, const wchar_t* method,
                               const std::vector<MethodParameter>& in, MethodOutput& out) = 0;
};

}  // namespace kv::wmi
