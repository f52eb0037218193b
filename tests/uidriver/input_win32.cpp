#include <windows.h>

#include <array>
#include <chrono>
#include <thread>

#include "tests/uidriver/input.h"

namespace jov::uidriver {
namespace {

template <std::size_t N>
bool Send(std::array<INPUT, N>& inputs) {
  return ::SendInput(static_cast<UINT>(N), inputs.data(), sizeof(INPUT)) == N;
}

// Absolute mouse coordinates run from 0 to 65535 across the primary screen;
// the system maps them back with dx * width / 65536, so this rounds up.
LONG Normalised(int pixel, int screenSize) {
  return static_cast<LONG>((static_cast<long long>(pixel) * 65536 + screenSize - 1) / screenSize);
}

bool IsExtendedKey(std::uint16_t virtualKey) {
  switch (virtualKey) {
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
      return true;
  }
  return false;
}

}  // namespace

bool ClickAt(int x, int y) {
  std::array<INPUT, 3> inputs{};
  for (INPUT& input : inputs) {
    input.type = INPUT_MOUSE;
    input.mi.dx = Normalised(x, ::GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = Normalised(y, ::GetSystemMetrics(SM_CYSCREEN));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  }
  // Wine can press the button where the pointer was before a move sent
  // with it, so the pointer gets there first, and each button event names
  // the spot too.
  std::array<INPUT, 1> move{inputs[0]};
  if (!Send(move)) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (POINT at{}; ::GetCursorPos(&at) && (at.x != x || at.y != y);) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  inputs[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
  inputs[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
  return Send(inputs);
}

bool PressKey(std::uint16_t virtualKey) {
  std::array<INPUT, 2> inputs{};
  const DWORD extended = IsExtendedKey(virtualKey) ? KEYEVENTF_EXTENDEDKEY : 0;
  for (INPUT& input : inputs) {
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = extended;
  }
  inputs[1].ki.dwFlags |= KEYEVENTF_KEYUP;
  return Send(inputs);
}

bool BringToFront(std::uintptr_t window) {
  const HWND hwnd = reinterpret_cast<HWND>(window);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (::GetForegroundWindow() != hwnd) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    ::SetForegroundWindow(hwnd);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace jov::uidriver
