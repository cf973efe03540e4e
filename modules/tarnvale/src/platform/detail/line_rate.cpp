#include "platform/detail/line_rate.hpp"

namespace tarnvale::platform {

bool LineRate::admit(Clock::time_point now) {
  if (!open_ || now >= start_ + kSecond) {
    open_ = true;
    start_ = now;
    written_ = 0;
  }
  if (written_ < per_second_) {
    ++written_;
    return true;
  }
  ++left_out_;
  return false;
}

std::optional<LineRate::Clock::time_point> LineRate::summary_due() const {
  if (left_out_ == 0) return std::nullopt;
  return start_ + kSecond;
}

std::uint64_t LineRate::take_summary(Clock::time_point now) {
  if (!open_ || now < start_ + kSecond) return 0;
  open_ = false;
  return take_all();
}

std::uint64_t LineRate::take_all() {
  const std::uint64_t n = left_out_;
  left_out_ = 0;
  return n;
}

}  // namespace tarnvale::platform
