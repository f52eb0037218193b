// frmSplash, the start-up window: it shows the program's identity until the
// first of its three triggers, then hands over to the batch run.
#pragma once

#include <chrono>
#include <functional>

#include "loader/text.h"

namespace jov {

enum class SplashTrigger { kTimer, kKey, kClick };

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
// produces a character, or a click on Frame1. The splash is gone, and the
// terminal (POSIX) back in its own mode, before `onTrigger` runs on this
// thread; the program passes RunLoader, which never returns. Returns without
// calling `onTrigger` only when the window was closed some other way (Alt+F4,
// the task bar), which the program takes as the user declining the run.
// Should the window fail to appear at all, the run starts at once.
void RunSplash(const std::function<void(SplashTrigger)>& onTrigger,
               std::chrono::milliseconds interval = kSplashInterval);

}  // namespace jov
