#include "e2e/service_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

extern char** environ;

namespace tarnvale::e2e {

std::string service_binary() { return std::string(TARNVALE_BINARY_DIR) + "/modules/tarnvale/tarnvale"; }

#if defined(__SANITIZE_ADDRESS__)
#define TARNVALE_E2E_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARNVALE_E2E_SANITIZED 1
#endif
#endif

std::optional<std::string> unsanitized_binary() {
#if defined(TARNVALE_E2E_SANITIZED)
  const char* release = std::getenv("TARNVALE_RELEASE_BINARY");
  if (release == nullptr || *release == '\0') return std::nullopt;
  return std::string(release);
#else
  return service_binary();
#endif
}

namespace {

void shape_stderr_pipe(int write_end, StderrPipe shape) {
  if (shape.size > 0 && fcntl(write_end, F_SETPIPE_SZ, shape.size) < 0) throw std::runtime_error("F_SETPIPE_SZ failed");
  if (!shape.full) return;
  // Filled without blocking, then made blocking again: the service inherits the flags.
  const int flags = fcntl(write_end, F_GETFL);
  fcntl(write_end, F_SETFL, flags | O_NONBLOCK);
  const std::string newlines(4096, '\n');
  while (write(write_end, newlines.data(), newlines.size()) > 0) {
  }
  fcntl(write_end, F_SETFL, flags);
}

}  // namespace

ServiceProcess::ServiceProcess(std::vector<std::string> prefix, std::string binary, StderrPipe stderr_pipe) {
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  shape_stderr_pipe(err[1], stderr_pipe);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<std::string> args = std::move(prefix);
  args.push_back(std::move(binary));
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  started_ = std::chrono::steady_clock::now();
  const int rc = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (rc != 0) throw std::runtime_error("posix_spawn failed");
  out_.fd = out[0];
  err_.fd = err[0];
}

ServiceProcess::~ServiceProcess() {
  if (running()) {
    kill(pid_, SIGKILL);
    wait_exit(std::chrono::milliseconds(5000));
  }
  close(out_.fd);
  close(err_.fd);
}

void ServiceProcess::drain(Pipe& pipe, std::chrono::milliseconds timeout) {
  if (pipe.eof) return;
  pollfd p{pipe.fd, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return;
  char buf[4096];
  const ssize_t n = read(pipe.fd, buf, sizeof buf);
  if (n <= 0) {
    pipe.eof = true;
    return;
  }
  pipe.buffer.append(buf, static_cast<std::size_t>(n));
}

std::optional<std::string> ServiceProcess::line_from(Pipe& pipe, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto nl = pipe.buffer.find('\n');
    if (nl != std::string::npos) {
      std::string line = pipe.buffer.substr(0, nl);
      pipe.buffer.erase(0, nl + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (pipe.eof || left.count() <= 0) return std::nullopt;
    drain(pipe, left);
  }
}

std::optional<std::string> ServiceProcess::stdout_line(std::chrono::milliseconds timeout) {
  return line_from(out_, timeout);
}
std::optional<std::string> ServiceProcess::stderr_line(std::chrono::milliseconds timeout) {
  return line_from(err_, timeout);
}

std::string ServiceProcess::stderr_text(std::chrono::milliseconds settle) {
  const auto deadline = std::chrono::steady_clock::now() + settle;
  do {
    drain(err_, std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < deadline && !err_.eof);
  drain(err_, std::chrono::milliseconds(0));
  return err_.buffer;
}

std::optional<int> ServiceProcess::wait_exit(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!status_) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status_;
}

bool ServiceProcess::running() { return !wait_exit(std::chrono::milliseconds(0)).has_value(); }

RunningService::RunningService(std::vector<std::string> prefix, std::string binary, StderrPipe stderr_pipe)
    : process(std::move(prefix), std::move(binary), stderr_pipe) {
  auto line = process.stdout_line(std::chrono::seconds(10));
  if (!line || *line != "tarnvale listening on ws://0.0.0.0:8083") {
    ADD_FAILURE() << "no start-up line; stderr: " << process.stderr_text();
  }
}

}  // namespace tarnvale::e2e
