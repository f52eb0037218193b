#include <windows.h>

#include "loader/ui.h"
#include "version.h"

namespace jov {

void ShowMessage(MessageKind kind, const NativeString& text, Progress*) {
  // To the front: a box waiting behind another window makes the batch look
  // hung.
  const UINT icon = kind == MessageKind::kError ? MB_ICONERROR : 0;
  ::MessageBoxW(nullptr, text.c_str(), JOV_WIDE(JOV_APP_TITLE), MB_OK | MB_SETFOREGROUND | icon);
}

// PROGRESS-SEAM: nothing shown yet.
struct Progress::State {};
Progress::Progress(std::size_t) {}
Progress::~Progress() = default;
void Progress::Loading(std::size_t, const NativeString&) {}
void Progress::Failed() {}
bool Progress::StopRequested() const { return false; }

}  // namespace jov
