// The one point where a connection sleeps: the tick channel and the socket's readiness both
// ring it, and each rings only the connections that wait.
#pragma once

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/as_tuple.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "platform/waker.hpp"

namespace tarnvale::server {

// A timer that never expires, cancelled to wake: its wait belongs to the runtime, which ends
// it when it shuts down.
class Wakeup final : public platform::Waker {
 public:
  explicit Wakeup(const boost::asio::any_io_executor& executor)
      : timer_(executor, boost::asio::steady_timer::time_point::max()) {}

  // Sleeps until the next wake() after the call.
  auto sleep() { return timer_.async_wait(boost::asio::as_tuple(boost::asio::use_awaitable)); }
  // Ends the sleep by way of the runtime, never inline.
  void wake() override { timer_.cancel(); }

 private:
  boost::asio::steady_timer timer_;
};

}  // namespace tarnvale::server
