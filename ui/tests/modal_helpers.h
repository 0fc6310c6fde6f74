// Helpers for tests that click into a modal showing: the nested loop of the
// form under test runs these thread timers.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "forms.h"

namespace kv::test {

// Once a visible window of windowClass exists in this thread, runs action on
// it (from inside its modal loop). Retries every 20 ms for up to 5 s.
void WhenShown(const std::string& windowClass, std::function<void(HWND)> action);

// Closes the first visible window of windowClass as its close box would.
void CloseWhenShown(const std::string& windowClass);

// True when a window of windowClass was shown since the last WhenShown.
bool WasShown();

// What a designed layout stands for: every control of window that shows
// something lies wholly inside its client area, and none covers another.
// Returns how many were looked at.
size_t ExpectControlsFit(HWND window);

}  // namespace kv::test
