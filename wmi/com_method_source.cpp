#include "com_method_source.h"

namespace kv::wmi {
namespace {

// {4590F811-1D3A-11D0-891F-00AA004B2E24}
constexpr CLSID kClsidWbemLocator = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
// {DC12A687-737F-11CF-884D-00AA004B2E24}
constexpr IID kIidWbemLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

HRESULT Private(IUnknown* proxy) {
    return CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

bool ReadInteger(const VARIANT& value, std::uint32_t& out) {
    switch (V_VT(&value)) {
    case VT_I1: out = static_cast<std::uint32_t>(V_I1(&value)); return true;
    case VT_UI1: out = V_UI1(&value); return true;
    case VT_I2: out = static_cast<std::uint32_t>(V_I2(&value)); return true;
    case VT_UI2: out = V_UI2(&value); return true;
    case VT_I4: out = static_cast<std::uint32_t>(V_I4(&value)); return true;
    case VT_UI4: out = V_UI4(&value); return true;
    case VT_INT: out = static_cast<std::uint32_t>(V_INT(&value)); return true;
    case VT_UINT: out = V_UINT(&value); return true;
    default: return false;
    }
}

}  // namespace

HRESULT ComMethodSource::Connect(const wchar_t* nameSpace) {
    Disconnect();
    // A thread already in another apartment keeps it; only our own
    // initialisation is undone later.
    comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ComPtr<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER, kIidWbemLocator,
                                  reinterpret_cast<void**>(locator.Out()));
    if (FAILED(hr)) return hr;
    Bstr path(nameSpace);
    if (!path) return E_OUTOFMEMORY;
    hr = locator->ConnectServer(path.Get(), nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                nullptr, services_.Out());
    if (FAILED(hr)) {
        services_.Reset();
        return hr;
    }
    hr = Private(services_.Get());
    if (FAILED(hr)) services_.Reset();
    return hr;
}

void ComMethodSource::Disconnect() {
    services_.Reset();
    if (comInitialized_) {
        comInitialized_ = false;
        CoUninitialize();
    }
}

HRESULT ComMethodSource::FindInstance(const wchar_t* className, const wchar_t* property, const std::wstring& text,
                                      std::wstring& path) {
    path.clear();
    if (!services_) return E_UNEXPECTED;
    Bstr classBstr(className);
    ComPtr<IEnumWbemClassObject> instances;
    HRESULT hr = services_->CreateInstanceEnum(classBstr.Get(), WBEM_FLAG_FORWARD_ONLY, nullptr, instances.Out());
    if (FAILED(hr)) return hr;
    hr = Private(instances.Get());
    if (FAILED(hr)) return hr;
    for (;;) {
        ComPtr<IWbemClassObject> instance;
        ULONG returned = 0;
        hr = instances->Next(static_cast<long>(WBEM_INFINITE), 1, instance.Out(), &returned);
        if (FAILED(hr)) return hr;
        if (returned == 0) return S_FALSE;
        Variant value;
        if (FAILED(instance->Get(property, 0, value.Ptr(), nullptr, nullptr)) || value.Type() != VT_BSTR ||
            !V_BSTR(&value.Value()) || _wcsicmp(V_BSTR(&value.Value()), text.c_str()) != 0)
            continue;
        Variant instancePath;
        hr = instance->Get(L"__PATH", 0, instancePath.Ptr(), nullptr, nullptr);
        if (FAILED(hr)) return hr;
        if (instancePath.Type() != VT_BSTR || !V_BSTR(&instancePath.Value())) return WBEM_E_INVALID_OBJECT_PATH;
        path = V_BSTR(&instancePath.Value());
        return S_OK;
    }
}

HRESULT ComMethodSource::InParameters(const wchar_t* className, const wchar_t* method,
                                      ComPtr<IWbemClassObject>& in) {
    in.Reset();
    if (!services_) return E_UNEXPECTED;
    Bstr classBstr(className);
    ComPtr<IWbemClassObject> classObject;
    HRESULT hr = services_->GetObject(classBstr.Get(), 0, nullptr, classObject.Out(), nullptr);
    if (FAILED(hr)) return hr;
    return classObject->GetMethod(method, 0, in.Out(), nullptr);
}

HRESULT ComMethodSource::HasInParameter(const wchar_t* className, const wchar_t* method, const wchar_t* parameter,
                                        bool& has) {
    has = false;
    ComPtr<IWbemClassObject> in;
    const HRESULT hr = InParameters(className, method, in);
    if (FAILED(hr)) return hr;
    // A method without in-parameters has no signature object at all.
    if (!in) return S_OK;
    Variant value;
    has = SUCCEEDED(in->Get(parameter, 0, value.Ptr(), nullptr, nullptr));
    return S_OK;
}

HRESULT ComMethodSource::ExecMethod(const std::wstring& path, const wchar_t* className, const wchar_t* method,
                                    const std::vector<MethodParameter>& in, MethodOutput& out) {
    out.clear();
    ComPtr<IWbemClassObject> signature;
    HRESULT hr = InParameters(className, method, signature);
    if (FAILED(hr)) return hr;
    ComPtr<IWbemClassObject> arguments;
    if (signature) {
        hr = signature->SpawnInstance(0, arguments.Out());
        if (FAILED(hr)) return hr;
    } else if (!in.empty()) {
        return WBEM_E_INVALID_PARAMETER;
    }
    for (const MethodParameter& parameter : in) {
        Variant value;
        V_VT(value.Ptr()) = VT_I4;
        V_I4(value.Ptr()) = static_cast<LONG>(parameter.value);
        hr = arguments->Put(parameter.name.c_str(), 0, value.Ptr(), 0);
        if (FAILED(hr)) return hr;
    }
    Bstr pathBstr(path.c_str());
    Bstr methodBstr(method);
    ComPtr<IWbemClassObject> results;
    hr = services_->ExecMethod(pathBstr.Get(), methodBstr.Get(), 0, nullptr, arguments.Get(), results.Out(),
                               nullptr);
    if (FAILED(hr)) return hr;
    if (!results) return S_OK;
    hr = results->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY);
    if (FAILED(hr)) return hr;
    for (;;) {
        BSTR name = nullptr;
        Variant value;
        if (results->Next(0, &name, value.Ptr(), nullptr, nullptr) != WBEM_S_NO_ERROR) break;
        std::uint32_t number = 0;
        if (name && ReadInteger(value.Value(), number)) out[name] = number;
        SysFreeString(name);
    }
    results->EndEnumeration();
    return S_OK;
}

}  // namespace kv::wmi
