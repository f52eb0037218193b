// How the Windows build spells a file of the working folder for the system.
#pragma once

#include <string>

namespace jov {

// The file `name` in `folder` (a full path, as GetCurrentDirectoryW gives
// it), spelled so that the system takes it literally: without "\\?\" a
// name such as "NUL.jov" or "COM1.jov" is read as a DOS device, and long
// paths are cut at MAX_PATH. A verbatim path is not normalised, so a drive's
// root ("C:\") must not gain a second separator.
std::wstring VerbatimPath(std::wstring folder, const std::wstring& name);

}  // namespace jov
