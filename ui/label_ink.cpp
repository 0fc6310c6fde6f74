#include "label_ink.h"

#include <algorithm>

namespace kv::ui {
namespace {
// What a left-aligned static control draws with: its own font and these
// DrawText flags. Measured any other way (GetTextExtentPoint32 with another
// font) the width can come out a pixel short, and the control then wraps or
// cuts the last letter.
constexpr UINT kLabelTextFlags = DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK | DT_NOPREFIX;

// One memory DC for all measuring, kept for the program's life: it maps
// fonts as the screen does, and a DC per label would cost a round trip to
// the window system each time.
HDC MeasuringDC() {
    static HDC dc = ::CreateCompatibleDC(nullptr);
    return dc;
}

// The text's advance can be narrower than its ink: the last glyph of an
// italic reaches past it, and the hinted glyphs of a substituted face (Wine
// draws "MS Sans Serif" with a TrueType face) add up wider than the
// unhinted sum. So the text is drawn once, as the control will draw it,
// and the last column that takes ink counts too.
LONG InkWidth(HDC dc, const std::string& text, LONG width, LONG height) {
    const LONG room = width + height;  // an overhang is never wider than a line is high
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = room;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap) ::DeleteObject(bitmap);
        return width;
    }
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    auto* pixels = static_cast<DWORD*>(bits);
    std::fill_n(pixels, static_cast<size_t>(room) * height, 0xFFFFFFu);
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::SetBkMode(dc, TRANSPARENT);
    RECT r{0, 0, room, height};
    ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, kLabelTextFlags);
    ::GdiFlush();
    LONG last = -1;
    for (LONG y = 0; y < height; ++y)
        for (LONG x = room - 1; x > last; --x)
            if ((pixels[y * room + x] & 0xFFFFFFu) != 0xFFFFFFu) {
                last = x;
                break;
            }
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    return std::max(width, last + 1);
}

}  // namespace

SIZE MeasureLabelText(HWND label, const std::string& text) {
    HDC dc = MeasuringDC();
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(label, WM_GETFONT, 0, 0)));
    RECT r{0, 0, 0x7FFF, 0};  // one line: room enough that nothing breaks
    ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, kLabelTextFlags | DT_CALCRECT);
    TEXTMETRICA tm{};
    ::GetTextMetricsA(dc, &tm);
    const LONG height = std::max<LONG>(r.bottom - r.top, tm.tmHeight);
    const LONG width = text.empty() ? 0 : InkWidth(dc, text, r.right - r.left, height);
    ::SelectObject(dc, old);
    return SIZE{width, height};
}

}  // namespace kv::ui
