// The converter's contract. CASLcdi2ppc.exe is an outside program that lies
// beside the inputs. It is started once per input, in the working directory,
// as
//     .\CASLcdi2ppc.exe -DbFile <intermediate name> -CreatorID Wmtk
// reads the decoded intermediate file, leaves it in place (the loader
// removes it; a converter that removes it itself is no error), and ends by
// itself. What it produces is its own business.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "base/text.h"

namespace jov {

// The parts of its command line. The stand-in converter and the tests take
// them from here too.
inline constexpr std::string_view kConverterName = "CASLcdi2ppc.exe";
inline constexpr std::string_view kDbFileSwitch = "-DbFile";
inline constexpr std::string_view kCreatorIdSwitch = "-CreatorID";
inline constexpr std::string_view kCreatorId = "Wmtk";

// The program, never looked up on PATH: ".\CASLcdi2ppc.exe" on Windows,
// "./CASLcdi2ppc.exe" on POSIX.
NativeString ConverterProgram();

// Its arguments for one intermediate file.
std::vector<NativeString> ConverterArguments(const NativeString& intermediateName);

// What a status means to the user. The converter's status, read as 16 bits,
// is negative on failure and 0..32767 on success. A status those 16 bits
// cannot hold (40000, a Windows crash code such as 0xC0000005), or a signal
// that ended it (POSIX), is a failure too, and unusual enough to be named on
// a line of its own.
struct ConverterOutcome {
  bool loaded = false;
  std::optional<NativeString> cause = std::nullopt;
};
ConverterOutcome JudgeStatus(std::int32_t status);

// The line telling why the converter could not be started at all.
NativeString DescribeStartFailure(SystemError error);

}  // namespace jov
