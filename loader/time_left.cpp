#include "loader/time_left.h"

#include <algorithm>
#include <cmath>

#include "base/text.h"

namespace jov {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// `left` seconds as shown: to the nearest ten below a minute, where 55 s and
// more already reads "about a minute", and to the nearest minute above.
seconds Round(double left) {
  const long tens = std::lround(std::max(left, 0.0) / 10);
  if (tens < 6) return seconds(tens * 10);
  return seconds(std::max(1L, std::lround(left / 60)) * 60);
}

}  // namespace

ShownTimeLeft EstimateTimeLeft(std::size_t done, milliseconds measured, std::size_t left,
                               milliseconds running, ShownTimeLeft previous) {
  if (done == 0 || measured < seconds(1)) return std::nullopt;
  const double mean = std::chrono::duration<double>(measured).count() / static_cast<double>(done);
  const double others = mean * static_cast<double>(left > 0 ? left - 1 : 0);
  const double estimate = std::max(
      mean * static_cast<double>(left) - std::chrono::duration<double>(running).count(), others);
  // Neighbouring roundings lie ten seconds apart up to 90 s, a minute
  // beyond, so within a quarter step of `estimate` there is at most one edge
  // between two of them: the previous text is kept while it is the rounding
  // of a time that near.
  const double quarterStep = estimate < 90 ? 2.5 : 15;
  if (previous &&
      (Round(estimate - quarterStep) == *previous || Round(estimate + quarterStep) == *previous)) {
    return previous;
  }
  return Round(estimate);
}

std::string TimeLeftText(ShownTimeLeft shown) {
  if (!shown) return {};
  const auto count = shown->count();
  if (count == 0) return "Less than a minute left";
  if (count < 60) return Concat({"About ", std::to_string(count), " seconds left"});
  if (count == 60) return "About 1 minute left";
  return Concat({"About ", std::to_string(count / 60), " minutes left"});
}

std::string ShortTimeLeftText(ShownTimeLeft shown) {
  if (!shown) return {};
  const auto count = shown->count();
  if (count == 0) return "under 1 min left";
  if (count < 60) return Concat({std::to_string(count), " sec left"});
  return Concat({std::to_string(count / 60), " min left"});
}

void BatchClock::Loading(std::size_t number, milliseconds now) {
  if (number_ == 0) firstStart_ = Working(now);
  number_ = number;
  currentStart_ = Working(now);
}

void BatchClock::MessageOpened(milliseconds now) {
  if (!messageSince_) messageSince_ = now;
}

void BatchClock::MessageClosed(milliseconds now) {
  if (!messageSince_) return;
  paused_ += now - *messageSince_;
  messageSince_.reset();
}

ShownTimeLeft BatchClock::Update(milliseconds now) {
  if (number_ == 0) return std::nullopt;
  const milliseconds working = Working(now);
  shown_ = EstimateTimeLeft(number_ - 1, currentStart_ - firstStart_, count_ - number_ + 1,
                            working - currentStart_, shown_);
  return shown_;
}

milliseconds BatchClock::Working(milliseconds now) const {
  return (messageSince_ ? *messageSince_ : now) - paused_;
}

}  // namespace jov
