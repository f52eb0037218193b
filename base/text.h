// Names and messages are kept in the platform's own file-name encoding: UTF-16
// on Windows (so every name the file system can hold survives), bytes (UTF-8
// in practice) on POSIX. The loader's logic is written once against these
// aliases and never converts.
#pragma once

#include <cstddef>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace jov {

using NativeChar = std::filesystem::path::value_type;
using NativeString = std::filesystem::path::string_type;
using NativeStringView = std::basic_string_view<NativeChar>;

// Widens (or copies) 7-bit ASCII text; every literal the loader uses is ASCII.
NativeString FromAscii(std::string_view ascii);

// The parts one after another, for text built from numbers. Built by
// appending, because GCC 12 at -O3 (the Release build) warns falsely
// (-Wrestrict) about "text" + std::to_string(...) and its kin.
std::string Concat(std::initializer_list<std::string_view> parts);

// Best-effort narrowing for console output and test diagnostics: UTF-8.
std::string ToUtf8(NativeStringView text);
NativeString FromUtf8(std::string_view utf8);

// Number of characters (code points) in a name. A code point that is split
// across units (a UTF-8 sequence, a UTF-16 surrogate pair) counts once; a
// unit that is not part of a valid sequence counts as one.
std::size_t CountCharacters(NativeStringView text);

// Index of the unit where the first `count` characters end, never inside a
// code point; text.size() when it holds fewer characters.
std::size_t PrefixEnd(NativeStringView text, std::size_t count);

// The order inputs are taken in, the same on every platform and file
// system, as a user sees names listed: runs of ASCII digits compare by their
// value ("Lesson 2" before "Lesson 10"), ASCII letters without case, every
// other character by code point (never by UTF-16 unit, so both encodings
// agree). Names equal so far are ordered by code point, so the order is
// total.
bool NaturalLess(NativeStringView a, NativeStringView b);

// A name as it may be shown: every character that could move a terminal's
// cursor or rewrite what it shows becomes an escape (\n, \t, \r, or \ooo in
// octal, a byte at a time). On POSIX the locale (LC_CTYPE) decides, as for
// `ls`: a character it cannot print (C0, DEL, C1 such as U+009B) and a byte it
// cannot decode are escaped, so in the C locale every byte beyond ASCII is.
// Windows names cannot hold C0 controls and a message box is no terminal:
// there only C0 and DEL are escaped.
NativeString Printable(NativeStringView name);

}  // namespace jov
