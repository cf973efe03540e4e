// The lines that tell when accepting pauses for want of descriptors or memory and when it has
// resumed: one pair per pause however many accepts fail in it, so connection churn at the
// limit cannot turn each accept into a line.
#pragma once

#include <chrono>
#include <cstdint>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/steady_timer.hpp>

namespace tarnvale::server {

class AcceptPause {
 public:
  // How long accepting must work after the last failed accept for the pause to be over.
  static constexpr std::chrono::seconds kSettle{1};

  explicit AcceptPause(const boost::asio::any_io_executor& executor) : timer_(executor) {}
  AcceptPause(const AcceptPause&) = delete;
  AcceptPause& operator=(const AcceptPause&) = delete;

  // An accept failed for want of `code` (EMFILE, ENOMEM, …). The first failure outside a
  // pause starts one: "accepting connections paused: <error>".
  void failed(int code);

  // An accept took a connection, or found none waiting (at the limit, accept fails whether
  // or not one waits). Once accepting has worked for kSettle after the last failed accept,
  // the pause is over: "accepting connections resumed: <n> accepts failed while paused".
  void worked();

 private:
  void settle_at(std::chrono::steady_clock::time_point when);

  boost::asio::steady_timer timer_;
  bool paused_ = false;
  bool worked_since_failure_ = false;
  bool settling_ = false;
  std::uint64_t failures_ = 0;
  std::chrono::steady_clock::time_point last_failure_;
};

}  // namespace tarnvale::server
