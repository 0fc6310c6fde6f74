// A name for screen readers where the window text must stay as it is (an
// empty caption), given through the dynamic annotation service.
#pragma once

#include <windows.h>

struct IAccPropServices;

namespace kv::ui {

class TControl;

class AccessibleName {
public:
    // Best effort: where the service is missing the control stays unnamed,
    // and Annotated() says so.
    AccessibleName(const TControl& control, const wchar_t* name);
    ~AccessibleName();
    AccessibleName(const AccessibleName&) = delete;
    AccessibleName& operator=(const AccessibleName&) = delete;

    bool Annotated() const { return annotated_; }

private:
    HWND hwnd_;
    bool comInitialized_ = false;
    bool annotated_ = false;
    // Kept while the annotation lives: it belongs to the service object.
    IAccPropServices* service_ = nullptr;
};

}  // namespace kv::ui
