// How long the batch has left, as its progress shows it: the progress
// window's line under "n of N" and the end of the console's progress line.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace jov {

// The time left as it is shown, rounded as a file copy rounds it: whole
// minutes from a minute on (60 s, 240 s), tens of seconds below (10 s to
// 50 s), and 0 s for "less than a minute", where not even ten seconds are
// left. Nothing (nullopt) while there is no estimate.
using ShownTimeLeft = std::optional<std::chrono::seconds>;

// The mean time of the `done` inputs that finished, which took `measured`
// together, times the `left` ones still to finish, the one under way
// included; less the `running` time that one has taken so far, though never
// below what the others will take, so the line counts down during a long
// conversion and holds at "less than a minute" on the last one. No estimate
// before an input has finished, or from under a second of work: it would be
// a guess. `previous` is what was shown last: an estimate that moves no
// further than a quarter of a rounding step past the edge between two
// roundings keeps it, so the line does not flicker between them.
ShownTimeLeft EstimateTimeLeft(std::size_t done, std::chrono::milliseconds measured,
                               std::size_t left, std::chrono::milliseconds running,
                               ShownTimeLeft previous);

// "About 4 minutes left", "About 40 seconds left", "Less than a minute
// left"; "" without an estimate.
std::string TimeLeftText(ShownTimeLeft shown);
// The same, short, for the console's line: "4 min left", "40 sec left",
// "under 1 min left".
std::string ShortTimeLeftText(ShownTimeLeft shown);

// The batch's clock, from the start of the first input, read from the
// platform's steady clock in milliseconds (`now`). A message waiting for
// the user stops it: that time is nobody's conversion.
class BatchClock {
 public:
  explicit BatchClock(std::size_t count) : count_(count) {}

  // Input `number` (from 1) starts; those before it have finished.
  void Loading(std::size_t number, std::chrono::milliseconds now);
  void MessageOpened(std::chrono::milliseconds now);
  void MessageClosed(std::chrono::milliseconds now);
  // The estimate at `now`, which the next one starts from.
  ShownTimeLeft Update(std::chrono::milliseconds now);

 private:
  // The clock's reading at `now`, without the time messages were open.
  std::chrono::milliseconds Working(std::chrono::milliseconds now) const;

  std::size_t count_;
  std::size_t number_ = 0;
  std::chrono::milliseconds firstStart_{};
  std::chrono::milliseconds currentStart_{};
  std::chrono::milliseconds paused_{};
  std::optional<std::chrono::milliseconds> messageSince_;
  ShownTimeLeft shown_;
};

}  // namespace jov
