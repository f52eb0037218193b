#include "loader/loader.h"

int main() {
  // The program takes no arguments: everything it works on is in the
  // working directory.
  jov::RunLoader();
}
