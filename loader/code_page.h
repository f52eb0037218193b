// What of a name reaches the converter. It is a narrow program, as
// programs of its time are: on Windows it reads its command line in the
// system's ANSI code page and opens the name it is given with the narrow
// file functions.
#pragma once

#include "base/text.h"

namespace jov {

// Whether the converter receives `character` (the units of one character:
// a whole UTF-8 sequence or UTF-16 surrogate pair) exactly as it stands.
//
// On Windows only where the ANSI code page spells it and reads it back as
// the same character. A best-fit substitute does not count: under 1252 the
// system would hand the converter "Lódz" for "Łódź", another name. Under UTF-8
// (65001) every character does; a lone surrogate, which is none, does not.
// On POSIX every character does: names reach the converter as the bytes
// the folder holds.
bool ConverterCanReceive(NativeStringView character);

// Whether the converter opens a name whose part before the first dot is a
// DOS device name, in any case ("nul.x", "COM1.txt"), as that device: on
// Windows, as the system opens any name that is not in its long-path form;
// on POSIX no name is a device.
bool ConverterOpensDevices();

}  // namespace jov
