#include "main/runtime.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/system/system_error.hpp>

#include "platform/console.hpp"
#include "platform/error_log.hpp"
#include "platform/fault.hpp"
#include "platform/io_error.hpp"

namespace tarnvale::main {

namespace asio = boost::asio;

namespace {

// The debug rendering of what failed while the runtime was built.
std::string build_error_debug(const std::exception& e) {
  if (const auto* system = dynamic_cast<const boost::system::system_error*>(&e);
      system != nullptr && system->code().category() == boost::system::system_category()) {
    return platform::IoError::from_code(system->code().value()).debug();
  }
  return platform::IoError::custom("Other", platform::debug_quote(e.what())).debug();
}

}  // namespace

void prepare_process() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      // open() takes the lowest free descriptor, which is `fd`.
      const int opened = open("/dev/null", O_RDWR);
      if (opened != fd && opened >= 0) {
        dup2(opened, fd);
        close(opened);
      }
    }
  }
  signal(SIGPIPE, SIG_IGN);
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  std::setvbuf(stderr, nullptr, _IONBF, 0);
}

int run_main(const MainTask& task) {
  std::optional<MainResult> result;
  std::exception_ptr fault;
  {
    std::unique_ptr<asio::io_context> runtime;
    try {
      runtime = std::make_unique<asio::io_context>(1);
      // The first timer brings up the I/O and timer drivers (epoll, eventfd, timerfd): made
      // here, their failure is the runtime's, not a fault of the main task.
      asio::steady_timer drivers(*runtime);
    } catch (const std::exception& e) {
      platform::report_fault("main", std::make_exception_ptr(std::runtime_error("Failed building the Runtime: " +
                                                                                build_error_debug(e))));
      return 101;
    }
    // Standard error goes through the log while the runtime runs; leaving the scope writes
    // what is still queued, before the runtime goes and before the process's last line.
    platform::ErrorLog log(runtime->get_executor());
    asio::co_spawn(*runtime, task(), [&](std::exception_ptr e, MainResult r) {
      if (e) {
        fault = e;
      } else {
        result = std::move(r);
      }
      // The main task's end is the process's end: nothing else runs after it.
      runtime->stop();
    });
    try {
      runtime->run();
    } catch (...) {
      fault = std::current_exception();
    }
    // Leaving the scope closes the log, then destroys the runtime: every remaining task is
    // destroyed without being resumed, releasing what it held, sockets included.
  }
  if (fault) {
    platform::report_fault("main", fault);
    return 101;
  }
  if (result && !*result) {
    // A failure of this last write is ignored.
    (void)platform::write_stderr("Error: " + result->error().debug() + "\n");
    return 1;
  }
  return 0;
}

}  // namespace tarnvale::main
