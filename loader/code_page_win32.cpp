#include <windows.h>

#include "loader/code_page.h"

namespace jov {

bool ConverterCanReceive(NativeStringView character) {
  const UINT codePage = ::GetACP();
  const int units = static_cast<int>(character.size());
  // UTF-8 refuses both the best-fit flag and the report of a default
  // character; it fails only on what is not a character.
  if (codePage == CP_UTF8) {
    return ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, character.data(), units, nullptr, 0,
                                 nullptr, nullptr) > 0;
  }
  char bytes[8];
  BOOL usedDefault = FALSE;
  const int length = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, character.data(), units,
                                           bytes, sizeof bytes, nullptr, &usedDefault);
  if (length <= 0 || usedDefault) return false;
  // The way back is the converter's: what it reads must be the very name.
  wchar_t back[4];
  const int backUnits =
      ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, length, back, 4);
  return backUnits > 0 && NativeStringView(back, static_cast<std::size_t>(backUnits)) == character;
}

bool ConverterOpensDevices() { return true; }

}  // namespace jov
