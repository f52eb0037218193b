// frmSplash, the start-up window: it shows the program's identity until the
// first of its three triggers; then the batch run starts.
#pragma once

#include <chrono>

#include "base/text.h"

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

// Positions in pixels at 96 dpi.
struct Box {
  int left, top, width, height;
};

enum class Align { kLeft, kRight };

// One label of Frame1, as the window lays it out and the console splash
// prints it, top to bottom.
struct SplashLabel {
  NativeString SplashTexts::*text = nullptr;  // null: a label that stays empty
  Box box;                                    // relative to Frame1
  int hundredthsOfPt = 825;                   // Arial
  bool bold = false;
  Align align = Align::kLeft;
  // Sized to its text: besides widening, as every label does for a text
  // that does not fit, it grows to the text's height.
  bool fitsText = false;
};

inline constexpr SplashLabel kSplashLabels[] = {
    // lblCompanyProduct, lblProductName
    {.text = &SplashTexts::productFamily,
     .box = {144, 64, 189, 29},
     .hundredthsOfPt = 1800,
     .bold = true,
     .fitsText = true},
    {.text = &SplashTexts::title,
     .box = {120, 96, 244, 51},
     .hundredthsOfPt = 3225,
     .bold = true,
     .fitsText = true},
    // lblPlatform, lblVersion
    {.text = &SplashTexts::platform,
     .box = {318, 156, 139, 24},
     .hundredthsOfPt = 1575,
     .bold = true,
     .align = Align::kRight,
     .fitsText = true},
    {.text = &SplashTexts::version,
     .box = {372, 180, 85, 19},
     .hundredthsOfPt = 1200,
     .bold = true,
     .align = Align::kRight,
     .fitsText = true},
    // lblCopyright, lblCompany
    {.text = &SplashTexts::copyright, .box = {304, 204, 161, 17}},
    {.text = &SplashTexts::company, .box = {304, 218, 161, 17}},
    // Two labels that are never written, at the frame's foot and head.
    {.box = {10, 244, 457, 13}},
    {.box = {8, 16, 457, 17}, .align = Align::kRight},
};

// imgLogo: the program's icon, stretched to its box inside Frame1.
inline constexpr Box kLogoBox{104, 64, 33, 31};

// Shows the splash until its first trigger: `interval` elapsing, a key that
// produces a character, or a click on Frame1. When it returns the splash is
// gone and the terminal (POSIX) is back in its own mode. Should the window
// fail to appear at all, it returns kTimer at once, so the run still starts.
SplashEnd RunSplash(std::chrono::milliseconds interval = kSplashInterval);

}  // namespace jov
