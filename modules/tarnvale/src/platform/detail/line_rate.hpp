// The rate limit of one kind of standard-error line: the first lines of each second are
// written, the rest are counted, and the count is summarized once that second is over.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace tarnvale::platform {

class LineRate {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kSecond = std::chrono::seconds(1);

  explicit LineRate(std::uint32_t per_second) : per_second_(per_second) {}

  // Whether a line at `now` is written: the first `per_second` lines of a second are, and
  // the rest are counted. A second starts with the first line after the last one ended.
  bool admit(Clock::time_point now);

  // The end of the second whose lines left out are still to be summarized; none while none are.
  std::optional<Clock::time_point> summary_due() const;

  // Closes the second if it has ended by `now` and returns how many of its lines were left
  // out (0 when none, or while the second lasts). Call it before admit() with the same
  // `now`, so that a summary comes before the first line of the next second; a count not
  // taken is carried into the next second rather than lost.
  std::uint64_t take_summary(Clock::time_point now);

  // The lines left out so far, whatever the second: for the process end.
  std::uint64_t take_all();

 private:
  std::uint32_t per_second_;
  bool open_ = false;
  Clock::time_point start_;
  std::uint32_t written_ = 0;
  std::uint64_t left_out_ = 0;
};

}  // namespace tarnvale::platform
