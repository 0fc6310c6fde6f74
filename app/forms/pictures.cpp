#include "forms/pictures.h"

namespace kv::pictures {
namespace {

const COLORREF kClear = RGB(255, 0, 255);

// A GDI object selected into a DC for one drawing step: put back, and
// deleted when it is the step's own, on every way out.
class Selected {
public:
    enum Kind { Owned, Borrowed };
    Selected(HDC dc, HGDIOBJ object, Kind kind = Owned)
        : dc_(dc), object_(object), kind_(kind), old_(object ? ::SelectObject(dc, object) : nullptr) {}
    ~Selected() {
        if (old_) ::SelectObject(dc_, old_);
        if (object_ && kind_ == Owned) ::DeleteObject(object_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;
    HGDIOBJ get() const { return object_; }

private:
    HDC dc_;
    HGDIOBJ object_;
    Kind kind_;
    HGDIOBJ old_;
};

// A memory DC like the screen's, deleted with its scope.
class MemoryDc {
public:
    explicit MemoryDc(HDC like) : dc_(::CreateCompatibleDC(like)) {}
    ~MemoryDc() {
        if (dc_) ::DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// Paints into a fresh bitmap of the screen's format, magenta everywhere the
// painter leaves untouched. The bitmap is the caller's.
template <typename Painter>
HBITMAP Paint(int width, int height, Painter paint) {
    HDC screen = ::GetDC(nullptr);
    const MemoryDc dc(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    ::ReleaseDC(nullptr, screen);
    const Selected canvas(dc.get(), bitmap, Selected::Borrowed);
    RECT all{0, 0, width, height};
    const Selected clear(dc.get(), ::CreateSolidBrush(kClear));
    ::FillRect(dc.get(), &all, static_cast<HBRUSH>(clear.get()));
    paint(dc.get());
    return bitmap;
}

void Box(HDC dc, int l, int t, int r, int b, COLORREF fill, COLORREF line) {
    const Selected brush(dc, ::CreateSolidBrush(fill));
    const Selected pen(dc, ::CreatePen(PS_SOLID, 1, line));
    ::Rectangle(dc, l, t, r, b);
}

void Disc(HDC dc, int l, int t, int r, int b, COLORREF fill) {
    const Selected brush(dc, ::CreateSolidBrush(fill));
    const Selected pen(dc, ::CreatePen(PS_SOLID, 1, fill));
    ::Ellipse(dc, l, t, r, b);
}

void Line(HDC dc, int x1, int y1, int x2, int y2, int width, COLORREF color) {
    const Selected pen(dc, ::CreatePen(PS_SOLID, width, color));
    ::MoveToEx(dc, x1, y1, nullptr);
    ::LineTo(dc, x2, y2);
}

HFONT Arial(int height, int weight) {
    return ::CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, "Arial");
}

}  // namespace

HBITMAP Logo() {
    return Paint(68, 55, [](HDC dc) {
        Box(dc, 1, 1, 67, 54, RGB(0, 64, 128), RGB(0, 32, 96));
        Box(dc, 5, 5, 63, 36, RGB(0, 96, 176), RGB(0, 96, 176));
        ::SetBkMode(dc, TRANSPARENT);
        {
            const Selected font(dc, Arial(-24, FW_BOLD));
            ::SetTextColor(dc, RGB(255, 255, 255));
            RECT top{5, 6, 63, 36};
            ::DrawTextA(dc, "KV", 2, &top, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
        const Selected font(dc, Arial(-10, FW_NORMAL));
        ::SetTextColor(dc, RGB(255, 208, 64));
        RECT bottom{2, 38, 66, 53};
        ::DrawTextA(dc, "KAVELTON", 8, &bottom, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    });
}

HBITMAP Diskette() {
    return Paint(32, 32, [](HDC dc) {
        Box(dc, 2, 2, 30, 30, RGB(32, 48, 120), RGB(16, 24, 64));
        Box(dc, 9, 2, 23, 12, RGB(192, 192, 200), RGB(96, 96, 104));   // shutter
        Box(dc, 18, 4, 21, 10, RGB(32, 48, 120), RGB(32, 48, 120));    // shutter window
        Box(dc, 6, 16, 26, 30, RGB(248, 248, 240), RGB(160, 160, 160)); // label
        Line(dc, 9, 20, 23, 20, 1, RGB(160, 160, 200));
        Line(dc, 9, 24, 23, 24, 1, RGB(160, 160, 200));
    });
}

HBITMAP UsbSymbol() {
    return Paint(32, 32, [](HDC dc) {
        const COLORREF ink = RGB(0, 0, 0);
        Line(dc, 16, 5, 16, 25, 2, ink);              // stem
        Line(dc, 16, 18, 9, 12, 2, ink);               // left arm
        Line(dc, 9, 12, 9, 9, 2, ink);
        Line(dc, 16, 15, 23, 10, 2, ink);              // right arm
        Disc(dc, 13, 24, 20, 31, ink);                 // base
        Disc(dc, 6, 6, 12, 11, ink);                   // round tip
        Box(dc, 21, 6, 26, 11, ink, ink);              // square tip
        POINT arrow[3] = {{16, 1}, {12, 7}, {20, 7}};  // top arrow
        const Selected brush(dc, ::CreateSolidBrush(ink));
        ::Polygon(dc, arrow, 3);
    });
}

HBITMAP Chip() {
    return Paint(32, 32, [](HDC dc) {
        for (int i = 0; i < 5; ++i) {
            const int p = 8 + i * 4;
            Line(dc, p, 2, p, 7, 2, RGB(176, 176, 176));
            Line(dc, p, 25, p, 30, 2, RGB(176, 176, 176));
            Line(dc, 2, p, 7, p, 2, RGB(176, 176, 176));
            Line(dc, 25, p, 30, p, 2, RGB(176, 176, 176));
        }
        Box(dc, 6, 6, 26, 26, RGB(40, 40, 40), RGB(0, 0, 0));
        Disc(dc, 9, 9, 13, 13, RGB(120, 120, 120));
    });
}

}  // namespace kv::pictures
