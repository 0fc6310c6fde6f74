// Method calls served from memory: instances with property texts, methods
// with their in-parameters, results and out-parameters. Every call is recorded.
#pragma once

#include "method_source.h"

namespace kv::wmi {

struct ServedMethod {
    std::vector<std::wstring> inParameters;
    HRESULT result = S_OK;
    MethodOutput out;
};

struct ServedMethodInstance {
    std::wstring className;
    std::wstring path;
    std::map<std::wstring, std::wstring> properties;
};

struct MethodCall {
    std::wstring path;
    std::wstring method;
    std::vector<MethodParameter> in;
};

class ServedMethodSource final : public MethodSource {
public:
    // --- script ---
    std::wstring nameSpace;           // the one namespace that exists
    HRESULT findResult = S_OK;        // a failure of the instance search
    std::vector<ServedMethodInstance> instances;
    std::map<std::wstring, ServedMethod> methods;  // by "Class.Method"
    // --- record ---
    std::vector<MethodCall> calls;
    int connects = 0, disconnects = 0;

    HRESULT Connect(const wchar_t* nameSpace) override;
    void Disconnect() override;
    HRESULT FindInstance(const wchar_t* className, const wchar_t* property, const std::wstring& text,
                         std::wstring& path) override;
    HRESULT HasInParameter(const wchar_t* className, const wchar_t* method, const wchar_t* parameter,
                           bool& has) override;
    HRESULT ExecMethod(const std::wstring& path, const wchar_t* className, const wchar_t* method,
                       const std::vector<MethodParameter>& in, MethodOutput& out) override;

private:
    bool connected_ = false;
};

}  // namespace kv::wmi
