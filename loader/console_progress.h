// The console's progress line (POSIX), as text: what Progress writes to a
// terminal while an input loads.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace jov {

// "[3/12] Unit 3 Review.jov" and then `suffix`, in at most `columns` - 1
// terminal columns (base/posix_console.h DisplayWidth): the last column is
// left empty, since a character there leaves many terminals about to wrap.
// A line that would wrap could not be erased whole. The name, escaped as
// Printable does, is cut to fit with "..."; where not even one of its
// characters would fit, the suffix goes, then the name ("[3/12]"), then all.
std::string ProgressLine(std::size_t number, std::size_t count, std::string_view inputName,
                         std::size_t columns, std::string_view suffix = {});

}  // namespace jov
