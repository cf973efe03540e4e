// The real tarnvale binary as a child process: its standard output and error captured,
// read line by line with a deadline, killed when the test ends.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tarnvale::e2e {

std::string service_binary();
// A build of the binary without sanitizers, for runs that use up every descriptor: UBSan's
// vptr check needs a free descriptor (it probes memory through a pipe) and, without one,
// aborts on a fault that is not there. In a sanitizer build it is the binary named by the
// environment variable TARNVALE_RELEASE_BINARY, or none.
std::optional<std::string> unsanitized_binary();

// The pipe that takes the service's standard error: its size in bytes (F_SETPIPE_SZ; 0
// leaves the system's default), and whether it is filled to the brim with "\n" before the
// service starts, so that its first line already finds no room.
struct StderrPipe {
  int size = 0;
  bool full = false;
};

class ServiceProcess {
 public:
  // Starts the binary; `prefix` is prepended to the command line (e.g. prlimit …).
  explicit ServiceProcess(std::vector<std::string> prefix = {}, std::string binary = service_binary(),
                          StderrPipe stderr_pipe = {});
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;
  ~ServiceProcess();

  // The next whole line (without "\n") of standard output / error, or none by the deadline.
  std::optional<std::string> stdout_line(std::chrono::milliseconds timeout);
  std::optional<std::string> stderr_line(std::chrono::milliseconds timeout);
  // Everything written to standard error so far (waits `settle` for more first).
  std::string stderr_text(std::chrono::milliseconds settle = std::chrono::milliseconds(0));
  // The exit status once the process ends by the deadline, or none.
  std::optional<int> wait_exit(std::chrono::milliseconds timeout);
  bool running();

  pid_t pid() const { return pid_; }
  std::chrono::steady_clock::time_point started() const { return started_; }

 private:
  struct Pipe {
    int fd = -1;
    std::string buffer;
    bool eof = false;
  };
  std::optional<std::string> line_from(Pipe& pipe, std::chrono::milliseconds timeout);
  void drain(Pipe& pipe, std::chrono::milliseconds timeout);

  pid_t pid_ = -1;
  std::optional<int> status_;
  Pipe out_;
  Pipe err_;
  std::chrono::steady_clock::time_point started_;
};

// Starts the service and waits for its start-up line; fails the test if it does not come.
struct RunningService {
  explicit RunningService(std::vector<std::string> prefix = {}, std::string binary = service_binary(),
                          StderrPipe stderr_pipe = {});
  ServiceProcess process;
};

}  // namespace tarnvale::e2e
