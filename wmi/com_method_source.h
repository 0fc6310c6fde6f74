// Method calls on the real WMI. The connection asks for packet privacy on
// its own proxies, which namespaces such as the volume encryption's demand,
// and leaves the process-wide security as it is.
#pragma once

#include "com_support.h"
#include "method_source.h"

#include <wbemidl.h>

namespace kv::wmi {

// Single-threaded: every call must come from the thread that connected.
class ComMethodSource final : public MethodSource {
public:
    ComMethodSource() = default;
    ComMethodSource(const ComMethodSource&) = delete;
    ComMethodSource& operator=(const ComMethodSource&) = delete;
    ~ComMethodSource() override { Disconnect(); }

    HRESULT Connect(const wchar_t* nameSpace) override;
    void Disconnect() override;
    HRESULT FindInstance(const wchar_t* className, const wchar_t* property, const std::wstring& text,
                         std::wstring& path) override;
    HRESULT HasInParameter(const wchar_t* className, const wchar_t* method, const wchar_t* parameter,
                           bool& has) override;
    HRESULT ExecMethod(const std::wstring& path, const wchar_t* className, const wchar_t* method,
                       const std::vector<MethodParameter>& in, MethodOutput& out) override;

private:
    HRESULT InParameters(const wchar_t* className, const wchar_t* method, ComPtr<IWbemClassObject>& in);

    ComPtr<IWbemServices> services_;
    bool comInitialized_ = false;
};

}  // namespace kv::wmi
