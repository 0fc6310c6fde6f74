#include "accessible_name.h"

#include <oleacc.h>

#include "controls.h"

namespace kv::ui {

AccessibleName::AccessibleName(const TControl& control, const wchar_t* name)
    : hwnd_(control.Handle()) {
    comInitialized_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (FAILED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IAccPropServices, reinterpret_cast<void**>(&service_))))
        service_ = nullptr;
    if (!service_) return;
    annotated_ = SUCCEEDED(service_->SetHwndPropStr(hwnd_, static_cast<DWORD>(OBJID_CLIENT),
                                                    CHILDID_SELF, PROPID_ACC_NAME, name));
}

AccessibleName::~AccessibleName() {
    if (service_) {
        if (annotated_ && ::IsWindow(hwnd_)) {
            MSAAPROPID props[] = {PROPID_ACC_NAME};
            service_->ClearHwndProps(hwnd_, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, props, 1);
        }
        service_->Release();
    }
    if (comInitialized_) ::CoUninitialize();
}

}  // namespace kv::ui
