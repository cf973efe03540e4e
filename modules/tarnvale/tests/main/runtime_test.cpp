// The process end: exit statuses and the "Error: " line, after the runtime is shut down.
#include "main/runtime.hpp"

#include <cerrno>
#include <stdexcept>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/as_tuple.hpp>
#include <gtest/gtest.h>

namespace tarnvale::main {
namespace {

namespace asio = boost::asio;

TEST(RunMainTest, ErrorResultWritesTheErrorLineAndExitsWithOne) {
  testing::internal::CaptureStderr();
  const int status = run_main([]() -> asio::awaitable<MainResult> {
    co_return unexpected(platform::IoError::from_code(EADDRINUSE));
  });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: Os { code: 98, kind: AddrInUse, message: \"Address in use\" }\n");
}

TEST(RunMainTest, FaultOnTheMainTaskExitsWith101) {
  testing::internal::CaptureStderr();
  const int status = run_main([]() -> asio::awaitable<MainResult> {
    throw std::runtime_error("failed printing to stdout: Broken pipe (os error 32)");
    co_return MainResult{};
  });
  EXPECT_EQ(status, 101);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("failed printing to stdout: Broken pipe (os error 32)"), std::string::npos);
  EXPECT_EQ(err.find("Error: "), std::string::npos);
}

// Other tasks still waiting when the main task ends are destroyed with the runtime, before
// the result is reported.
TEST(RunMainTest, RuntimeIsShutDownBeforeTheResultIsReported) {
  static bool released = false;
  struct Probe {
    ~Probe() { released = true; }
  };
  testing::internal::CaptureStderr();
  const int status = run_main([]() -> asio::awaitable<MainResult> {
    auto ex = co_await asio::this_coro::executor;
    asio::co_spawn(
        ex,
        []() -> asio::awaitable<void> {
          Probe probe;
          asio::steady_timer forever(co_await asio::this_coro::executor, asio::steady_timer::time_point::max());
          co_await forever.async_wait(asio::as_tuple(asio::use_awaitable));
        },
        [](std::exception_ptr) {});
    asio::steady_timer tick(ex, std::chrono::milliseconds(5));
    co_await tick.async_wait(asio::use_awaitable);
    co_return unexpected(platform::IoError::custom("Other", "MetricsError { message: \"x\" }"));
  });
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(released);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: Custom { kind: Other, error: MetricsError { message: \"x\" } }\n");
}

}  // namespace
}  // namespace tarnvale::main
