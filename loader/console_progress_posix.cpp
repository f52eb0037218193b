#include "loader/console_progress.h"

#include "base/posix_console.h"
#include "base/text.h"

namespace jov {

std::string ProgressLine(std::size_t number, std::size_t count, std::string_view inputName,
                         std::size_t columns, std::string_view suffix) {
  const std::size_t room = columns > 0 ? columns - 1 : 0;
  const std::string head = Concat({"[", std::to_string(number), "/", std::to_string(count), "]"});
  const std::string name = Printable(inputName);
  const std::size_t headWidth = DisplayWidth(head) + 1;
  const std::size_t nameWidth = DisplayWidth(name);
  constexpr std::string_view kCut = "...";
  for (const std::string_view tail : {suffix, std::string_view()}) {
    const std::size_t fixed = headWidth + DisplayWidth(tail);
    std::size_t end = name.size();
    if (fixed + nameWidth > room) {
      if (fixed + kCut.size() > room) continue;
      end = PrefixEndWithin(name, room - fixed - kCut.size());
      if (end == 0) continue;
    }
    std::string line = head;
    line += ' ';
    line.append(name, 0, end);
    if (end < name.size()) line += kCut;
    line += tail;
    return line;
  }
  return head.size() <= room ? head : std::string();
}

}  // namespace jov
