#include <windows.h>

#include "loader/loader.h"
#include "splash/splash.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  jov::RunSplash([](jov::SplashTrigger) { jov::RunLoader(); });
  // Only a splash closed some other way comes back: the user declined the
  // run.
  return 0;
}
