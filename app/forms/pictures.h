// Our own pictures, drawn with GDI at start. The caller owns each bitmap.
// Magenta (255, 0, 255) marks transparent pixels.
#pragma once

#include <windows.h>

namespace kv::pictures {

HBITMAP Logo();      // 68 x 55
HBITMAP Diskette();  // 32 x 32
HBITMAP UsbSymbol(); // 32 x 32
HBITMAP Chip();      // 32 x 32

}  // namespace kv::pictures
