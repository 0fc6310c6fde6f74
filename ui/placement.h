// Where windows go: forms and controls are designed in pixels at 96 DPI,
// and a form must open where the screen shows it.
#pragma once

#include <windows.h>

namespace kv::ui {

// Design units are pixels at 96 DPI; everything is scaled to the system DPI.
int Scale(int designPixels);

// The place for a window of this rect inside workArea: unchanged where it
// fits, otherwise moved just enough; a window larger than the area keeps
// its top left corner (and so its caption) inside.
RECT FitIntoWorkArea(const RECT& window, const RECT& workArea);

// Moves window, keeping its size, to target fitted into the work area of
// the monitor nearest target; where no monitor answers, it stays put.
void MoveIntoWorkArea(HWND window, const RECT& target);

}  // namespace kv::ui
