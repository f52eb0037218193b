#include "loader/loader.h"
#include "splash/splash.h"

// The program takes no arguments: everything it works on is in the working
// directory.
int main() {
  if (jov::RunSplash() == jov::SplashEnd::kClosed) return 0;
  return jov::RunLoader();
}
