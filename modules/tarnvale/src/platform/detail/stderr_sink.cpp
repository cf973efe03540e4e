#include "platform/detail/stderr_sink.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tarnvale::platform {

namespace {

constexpr std::uint32_t kRoomOnce = EPOLLOUT | EPOLLONESHOT;

}  // namespace

StderrSink::StderrSink(const boost::asio::any_io_executor& executor) : watch_(executor) {
  struct stat st {};
  if (::fstat(STDERR_FILENO, &st) != 0) return;
  Kind kind = Kind::at_once;
  if (S_ISSOCK(st.st_mode)) {
    kind = Kind::socket;
  } else if (S_ISFIFO(st.st_mode)) {
    // Reopening a pipe makes a new open file description with flags of its own.
    fd_ = ::open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    kind = fd_ >= 0 ? Kind::reopened : Kind::gated_pipe;
    if (fd_ < 0) fd_ = STDERR_FILENO;
  } else if (S_ISCHR(st.st_mode) && ::isatty(STDERR_FILENO) == 1) {
    // A terminal whose output is stopped (^S) or unread would hold up a plain write: the
    // same, without becoming the controlling terminal.
    fd_ = ::open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
      fd_ = STDERR_FILENO;
      return;
    }
    kind = Kind::reopened;
  }
  if (kind == Kind::at_once) return;

  const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
  epoll_event room{};
  room.events = kRoomOnce;
  boost::system::error_code ec;
  if (epoll >= 0 && ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd_, &room) == 0) watch_.assign(epoll, ec);
  if (epoll < 0 || !watch_.is_open()) {
    // Without a watch nothing could tell when there is room: standard error is written at once.
    if (epoll >= 0) ::close(epoll);
    if (fd_ != STDERR_FILENO) ::close(fd_);
    fd_ = STDERR_FILENO;
    return;
  }
  kind_ = kind;
}

StderrSink::~StderrSink() {
  if (fd_ != STDERR_FILENO) ::close(fd_);
}

Result<std::size_t, int> StderrSink::write_some(std::string_view bytes) {
  ssize_t n = -1;
  switch (kind_) {
    case Kind::at_once:
    case Kind::reopened:
      n = ::write(fd_, bytes.data(), bytes.size());
      break;
    case Kind::socket:
      n = ::send(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      break;
    case Kind::gated_pipe: {
      // A pipe with room for a page takes up to PIPE_BUF bytes without waiting. A reader
      // gone (POLLERR) is left to the write, which reports it.
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, 0) == 0) return unexpected(EAGAIN);
      n = ::write(fd_, bytes.data(), std::min(bytes.size(), kChunk));
      break;
    }
  }
  if (n < 0) return unexpected(errno == EWOULDBLOCK ? EAGAIN : errno);
  return static_cast<std::size_t>(n);
}

Result<void, int> StderrSink::write_all(std::string_view bytes) {
  while (!bytes.empty()) {
    auto written = write_some(bytes.substr(0, kChunk));
    if (written) {
      bytes.remove_prefix(*written);
      continue;
    }
    if (written.error() == EINTR) continue;
    if (written.error() != EAGAIN) return unexpected(written.error());
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, -1) < 0 && errno != EINTR) return unexpected(errno);
  }
  return {};
}

int StderrSink::arm_watch() {
  // A one-shot watch reports once and is then off: harvesting that report and arming it
  // again makes epoll check for room afresh and ring the io_context if there is room already,
  // so no report is lost between a write that found none and this wait.
  epoll_event seen{};
  (void)::epoll_wait(watch_.native_handle(), &seen, 1, 0);
  epoll_event room{};
  room.events = kRoomOnce;
  if (::epoll_ctl(watch_.native_handle(), EPOLL_CTL_MOD, fd_, &room) != 0) return errno;
  return 0;
}

}  // namespace tarnvale::platform
