// The size an auto-sized label needs so that its static control shows the
// whole text on one line, the last letter's ink included.
#pragma once

#include <windows.h>

#include <string>

namespace kv::ui {

// Measured with label's own font, as the control will draw text.
SIZE MeasureLabelText(HWND label, const std::string& text);

}  // namespace kv::ui
