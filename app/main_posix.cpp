#include "loader/loader.h"
#include "splash/splash.h"

int main() {
  // The program takes no arguments: everything it works on is in the
  // working directory.
  jov::RunSplash([](jov::SplashTrigger) { jov::RunLoader(); });
}
