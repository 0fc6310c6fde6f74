#include "com_query_source.h"

#include <cstdio>

namespace kv::wmi {

namespace {

// {4590F811-1D3A-11D0-891F-00AA004B2E24}
constexpr CLSID kClsidWbemLocator = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
// {DC12A687-737F-11CF-884D-00AA004B2E24}
constexpr IID kIidWbemLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

void WriteLine(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

bool IsIntegerType(VARTYPE vt) {
    switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
        return true;
    default:
        return false;
    }
}

}  // namespace

ComQuerySource::~ComQuerySource() {
    // Uninitialising here could run inside DLL unload; a caller that ends
    // its work with CloseNameSpace has released everything already.
    ReleaseObjects();
}

void ComQuerySource::ReleaseObjects() {
    current_.Reset();
    enumerator_.Reset();
    services_.Reset();
}

void ComQuerySource::UninitializeOnce() {
    // An initialisation that failed (another apartment model on this thread)
    // must not be undone here: it belongs to someone else.
    if (comInits_ > 0) {
        --comInits_;
        CoUninitialize();
    }
}

bool ComQuerySource::OpenClassEnum(int classIndex) {
    // The instance read so far belongs to the class that is being replaced.
    current_.Reset();
    enumerator_.Reset();
    const wchar_t* className = ClassName(classIndex);
    if (!className) return false;

    // One initialisation per open name space, however many classes it
    // enumerates: CloseNameSpace undoes exactly that one.
    if (comInits_ == 0 && SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) ++comInits_;
    // RPC_E_TOO_LATE only says that security was set earlier in this process
    // (by an earlier name space or by the host program): the default then
    // holds, and WMI works with it.
    const HRESULT security =
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(security) && security != RPC_E_TOO_LATE) WriteLine("failed CoInitializeSecurity\n");

    ComPtr<IWbemLocator> locator;
    lastResult_ = CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER, kIidWbemLocator,
                                   reinterpret_cast<void**>(locator.Out()));
    if (FAILED(lastResult_)) {
        UninitializeOnce();
        WriteLine("failed CoCreateInstance\n");
        return false;
    }

    Bstr namespacePath(L"root\\cimv2");
    ComPtr<IWbemServices> services;
    lastResult_ = locator->ConnectServer(namespacePath.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                         services.Out());
    if (FAILED(lastResult_)) {
        locator.Reset();
        UninitializeOnce();
        WriteLine("failed ConnectServer\n");
        return false;
    }
    locator.Reset();
    services_ = std::move(services);

    Bstr classBstr(className);
    lastResult_ = services_->CreateInstanceEnum(classBstr.Get(), WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                                enumerator_.Out());
    if (lastResult_ != S_OK) {
        enumerator_.Reset();
        return false;
    }
    return true;
}

bool ComQuerySource::NextInstance() {
    if (!enumerator_) return false;
    if (endFlag_ == 0) {
        // The end was reached by an earlier call.
        enumerator_.Reset();
        return false;
    }
    IWbemClassObject* delivered = nullptr;
    ULONG returned = 0;
    lastResult_ = enumerator_->Next(static_cast<long>(WBEM_INFINITE), 1, &delivered, &returned);
    endFlag_ = returned;
    if (delivered) current_.Attach(delivered);
    return lastResult_ == WBEM_S_NO_ERROR && endFlag_ == 1;
}

const wchar_t* ComQuerySource::GetPropertyText(unsigned propertyIndex) {
    result_.clear();
    const wchar_t* name = PropertyName(propertyIndex);
    if (!name) return result_.c_str();

    result_ = OtherwiseText(propertyIndex);
    if (!current_) return result_.c_str();

    Variant value;
    Bstr nameBstr(name);
    lastResult_ = current_->Get(nameBstr.Get(), 0, value.Ptr(), nullptr, nullptr);
    if (FAILED(lastResult_)) return result_.c_str();

    // Wine answers some properties with a failed Get and an empty VARIANT;
    // anything but the expected type keeps the Otherwise text.
    if (propertyIndex == kPropDriveType) {
        if (!IsIntegerType(value.Type())) return result_.c_str();
        Variant asInt;
        if (FAILED(VariantChangeType(asInt.Ptr(), value.Ptr(), 0, VT_I4))) return result_.c_str();
        Variant text;
        if (FAILED(VariantChangeType(text.Ptr(), asInt.Ptr(), 0, VT_BSTR))) return result_.c_str();
        const BSTR digits = V_BSTR(&text.Value());
        result_.assign(digits ? digits : L"", digits ? SysStringLen(digits) : 0);
        return result_.c_str();
    }
    if (value.Type() != VT_BSTR) return result_.c_str();
    const BSTR text = V_BSTR(&value.Value());
    result_.assign(text ? text : L"", text ? SysStringLen(text) : 0);
    return result_.c_str();
}

bool ComQuerySource::CloseNameSpace() {
    // Every object is released while the apartment still exists.
    ReleaseObjects();
    UninitializeOnce();
    return true;
}

}  // namespace kv::wmi
