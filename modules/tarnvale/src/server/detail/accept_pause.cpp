#include "server/detail/accept_pause.hpp"

#include <string>

#include "platform/error_log.hpp"
#include "platform/io_error.hpp"

namespace tarnvale::server {

using Clock = std::chrono::steady_clock;

void AcceptPause::failed(int code) {
  last_failure_ = Clock::now();
  worked_since_failure_ = false;
  ++failures_;
  if (paused_) return;
  paused_ = true;
  platform::write_error_line(platform::LineKind::accepting,
                             {"accepting connections paused: ", platform::IoError::from_code(code).display()});
}

void AcceptPause::worked() {
  if (!paused_ || worked_since_failure_) return;
  worked_since_failure_ = true;
  if (!settling_) settle_at(last_failure_ + kSettle);
}

void AcceptPause::settle_at(Clock::time_point when) {
  settling_ = true;
  timer_.expires_at(when);
  timer_.async_wait([this](const boost::system::error_code& ec) {
    if (ec) return;  // the timer is gone, and with it this object
    settling_ = false;
    // A failure since the timer was set: the pause goes on, and the next accept that works
    // settles again.
    if (!worked_since_failure_) return;
    if (Clock::now() < last_failure_ + kSettle) {
      settle_at(last_failure_ + kSettle);
      return;
    }
    platform::write_error_line(platform::LineKind::accepting, {"accepting connections resumed: ",
                                                               std::to_string(failures_), " accepts failed while paused"});
    paused_ = false;
    failures_ = 0;
  });
}

}  // namespace tarnvale::server
