#include <windows.h>

#include "loader/loader.h"
#include "splash/splash.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // A splash closed without its triggers is the user declining the run.
  if (jov::RunSplash() == jov::SplashEnd::kClosed) return 0;
  return jov::RunLoader();
}
