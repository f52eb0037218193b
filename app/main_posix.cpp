#include <clocale>
#include <iostream>
#include <string_view>

#include "base/text.h"
#include "loader/loader.h"
#include "splash/splash.h"
#include "version.h"

namespace {

constexpr std::string_view kUsage = "Usage: jovloader [--help | --version]\n";

constexpr std::string_view kHelp =
    "\n"
    "Loads every .jov file in the current folder through the converter\n"
    "./CASLcdi2ppc.exe, which lies beside them, after a splash that any\n"
    "character key skips. Each file that could not be loaded is reported,\n"
    "and the completion message says how the batch went. While standard\n"
    "error is a terminal, a line there shows the file being loaded.\n"
    "\n"
    "Exit status: 0 when every file loaded or there was none, 1 otherwise,\n"
    "2 for an argument it does not know.\n";

}  // namespace

// Everything the program works on is in the working directory; the
// arguments only ask about the program itself, and one it does not know
// touches nothing.
int main(int argc, char** argv) {
  // Which characters the terminal prints, and how wide, is the locale's to
  // say; messages stay in the one language they are written in.
  std::setlocale(LC_CTYPE, "");
  if (argc > 1) {
    const std::string_view argument = argv[1];
    if (argc == 2 && argument == "--help") {
      std::cout << kUsage << kHelp;
      return 0;
    }
    if (argc == 2 && argument == "--version") {
      std::cout << JOV_APP_TITLE " " JOV_VERSION_STRING "\n" JOV_COPYRIGHT "\n";
      return 0;
    }
    // After a known argument, the one too many is what is wrong.
    const bool known = argument == "--help" || argument == "--version";
    std::cerr << "jovloader: unexpected argument \"" << jov::Printable(known ? argv[2] : argument)
              << "\"\n"
              << kUsage;
    return 2;
  }
  if (jov::RunSplash() == jov::SplashEnd::kClosed) return 0;
  return jov::RunLoader();
}
