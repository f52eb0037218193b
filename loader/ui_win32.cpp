#include <windows.h>

#include "loader/ui.h"
#include "version.h"

namespace jov {

void ShowMessage(MessageKind, const NativeString& text) {
  ::MessageBoxW(nullptr, text.c_str(), JOV_WIDE(JOV_APP_TITLE), MB_OK);
}

}  // namespace jov
