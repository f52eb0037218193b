// Sizes for the screen a window is on. Laid out in 96-DPI units and scaled
// here, so the splash and the progress window grow alike on a denser screen.
// Windows 7 has no per-monitor DPI: the functions that do are looked up at
// run time, and without them the system DPI applies.
#pragma once

#include <windows.h>

namespace jov::win32 {

UINT DpiOf(HWND window);
int Scale(int value, UINT dpi);
// The window rectangle (origin at the client area's corner) whose client
// area is width x height at `dpi`.
RECT WindowRectForClient(int width, int height, DWORD style, DWORD exStyle, UINT dpi);

}  // namespace jov::win32
