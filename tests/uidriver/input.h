// Real input for the UI tests: it enters the system's input queue as a
// person's mouse and keyboard would, so it reaches whatever window is under
// the pointer or has the keyboard focus, and goes through the same
// translation (TranslateMessage, hit-testing) as theirs.
#pragma once

#include <cstdint>

namespace jov::uidriver {

// Moves the pointer to (x, y), in screen coordinates, and clicks the left
// button there.
bool ClickAt(int x, int y);

// Presses and releases the key with virtual-key code `virtualKey`.
bool PressKey(std::uint16_t virtualKey);

// Makes `window` the foreground window, so that keys go to it; false when
// it did not become so within a few seconds.
bool BringToFront(std::uintptr_t window);

}  // namespace jov::uidriver
