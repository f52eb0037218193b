// frmSplash, the start-up window: it shows the program's identity until the
// first of its three triggers; then the batch run starts.
#pragma once

#include <chrono>

#include "loader/text.h"

namespace jov {

// What ended the splash. kClosed: the window was closed some other way
// (Alt+F4, the task bar), which the program takes as the user declining the
// run.
enum class SplashEnd { kTimer, kKey, kClick, kClosed };

// Timer1's interval, counted from the window's creation.
inline constexpr std::chrono::milliseconds kSplashInterval{2000};

// The texts that Load writes, in the platform's own string type.
struct SplashTexts {
  NativeString productFamily;
  NativeString title;
  NativeString platform;
  NativeString version;
  NativeString copyright;
  NativeString company;
};

// "Version 1.0.0": each number in decimal, without leading zeros.
NativeString VersionText(int major, int minor, int revision);

// The texts for this build, from the generated version header.
SplashTexts LoadSplashTexts();

// Shows the splash until its first trigger: `interval` elapsing, a key that
// produces a character, or a click on Frame1. When it returns the splash is
// gone and the terminal (POSIX) is back in its own mode. Should the window
// fail to appear at all, it returns kTimer at once, so the run still starts.
SplashEnd RunSplash(std::chrono::milliseconds interval = kSplashInterval);

}  // namespace jov
