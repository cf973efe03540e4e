// The process end: exit statuses and the "Error: " line, after the runtime is shut down.
#include "main/runtime.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/as_tuple.hpp>
#include <gtest/gtest.h>

#include "platform/error_log.hpp"

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

// A line that standard error had no room for while the service ran is written at its end,
// before the "Error: " line, once the reader takes it.
TEST(RunMainTest, LinesStillQueuedAtTheEndComeBeforeTheErrorLine) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  ASSERT_GE(fcntl(pipe_fds[1], F_SETPIPE_SZ, 4096), 0);
  fcntl(pipe_fds[1], F_SETFL, O_NONBLOCK);
  const std::string filling(4096, '.');
  ASSERT_EQ(write(pipe_fds[1], filling.data(), filling.size()), 4096);
  fcntl(pipe_fds[1], F_SETFL, 0);
  const int saved_stderr = dup(STDERR_FILENO);
  dup2(pipe_fds[1], STDERR_FILENO);
  close(pipe_fds[1]);

  // The reader comes back only after the service has ended.
  std::string read_back;
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    char chunk[4096];
    for (ssize_t n; (n = read(pipe_fds[0], chunk, sizeof chunk)) > 0;) read_back.append(chunk, static_cast<std::size_t>(n));
  });
  const int status = run_main([]() -> asio::awaitable<MainResult> {
    platform::write_error_line(platform::LineKind::connection_failure, {"WebSocket connection from 127.0.0.1:1 failed: x"});
    co_return unexpected(platform::IoError::from_code(EADDRINUSE));
  });
  dup2(saved_stderr, STDERR_FILENO);
  close(saved_stderr);
  reader.join();
  close(pipe_fds[0]);

  EXPECT_EQ(status, 1);
  EXPECT_EQ(read_back, filling + "WebSocket connection from 127.0.0.1:1 failed: x\n" +
                           "Error: Os { code: 98, kind: AddrInUse, message: \"Address in use\" }\n");
}

}  // namespace
}  // namespace tarnvale::main
