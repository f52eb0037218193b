#include <windows.h>

#include "loader/loader.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The splash window will stand in front of this call; the batch run ends
  // the program itself.
  jov::RunLoader();
}
