#include "server/listener.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <stdexcept>
#include <string>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "platform/console.hpp"
#include "platform/fault.hpp"
#include "server/connection.hpp"

namespace tarnvale::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

// Accepts taken in a row before the accept loop lets the other tasks run.
constexpr int kAcceptBurst = 32;
constexpr std::chrono::milliseconds kFirstPause{5};
constexpr std::chrono::milliseconds kLongestPause{1000};

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

Result<sockaddr_in, platform::IoError> parse_address(std::string_view text) {
  const auto colon = text.rfind(':');
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  if (colon == std::string_view::npos) return unexpected(platform::IoError::from_code(EINVAL));
  const std::string host(text.substr(0, colon));
  const char* const end = text.data() + text.size();
  unsigned port = 0;
  const auto [stop, ec] = std::from_chars(text.data() + colon + 1, end, port);
  if (ec != std::errc{} || stop != end || port > 65535 || inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
    return unexpected(platform::IoError::from_code(EINVAL));
  }
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  return addr;
}

Result<int, platform::IoError> open_listener(const sockaddr_in& addr) {
  Descriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) return unexpected(platform::IoError::from_code(errno));
  const int on = 1;
  if (::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd.get(), 128) != 0) {
    return unexpected(platform::IoError::from_code(errno));
  }
  return fd.release();
}

std::string peer_text(const sockaddr_in& peer) {
  char ip[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
  return std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port));
}

// Errors that concern only the connection being accepted: it is gone, the next one is taken.
bool is_per_connection(int code) {
  switch (code) {
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
    case EINTR:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
    case ECONNRESET:
    case ETIMEDOUT:
      return true;
    default:
      return false;
  }
}

// A shortage that passes once other connections end: accepting pauses, serving goes on.
bool is_shortage(int code) { return code == EMFILE || code == ENFILE || code == ENOBUFS || code == ENOMEM; }

asio::awaitable<void> connection_task(tcp::socket socket, std::string peer, tree::DataStore store) {
  auto result = co_await handle_connection(std::move(socket), std::move(store));
  if (result) co_return;
  const std::string line = "WebSocket connection from " + peer + " failed: " + result.error().display() + "\n";
  if (auto written = platform::write_stderr(line); !written) {
    throw std::runtime_error("failed printing to stderr: " + written.error().display());
  }
}

}  // namespace

asio::awaitable<Result<void, platform::IoError>> serve(std::string_view address, tree::DataStore store) {
  auto executor = co_await asio::this_coro::executor;
  auto addr = parse_address(address);
  if (!addr) co_return unexpected(addr.error());
  auto fd = open_listener(*addr);
  if (!fd) co_return unexpected(fd.error());

  tcp::acceptor listener(executor);
  boost::system::error_code ec;
  listener.assign(tcp::v4(), *fd, ec);
  if (ec) {
    ::close(*fd);
    co_return unexpected(platform::IoError::from_code(ec.value()));
  }

  const std::string line = "tarnvale listening on ws://" + std::string(address) + "\n";
  if (auto written = platform::write_stdout(line); !written) {
    throw std::runtime_error("failed printing to stdout: " + written.error().display());
  }

  asio::steady_timer pause(executor);
  std::chrono::milliseconds next_pause = kFirstPause;
  bool paused = false;
  int burst = 0;
  for (;;) {
    if (burst >= kAcceptBurst) {
      burst = 0;
      co_await asio::post(executor, asio::use_awaitable);
    }
    sockaddr_in peer{};
    socklen_t peer_len = sizeof peer;
    const int conn = ::accept4(listener.native_handle(), reinterpret_cast<sockaddr*>(&peer), &peer_len,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (conn < 0) {
      const int code = errno;
      if (code == EAGAIN || code == EWOULDBLOCK) {
        // The backlog is empty; the reactor reports the next connection.
        burst = 0;
        co_await listener.async_wait(tcp::acceptor::wait_read, asio::as_tuple(asio::use_awaitable));
        continue;
      }
      if (is_per_connection(code)) {
        // Counts against the burst like an accepted connection, so a run of them yields too.
        ++burst;
        continue;
      }
      if (is_shortage(code)) {
        if (!paused) {
          (void)platform::write_stderr("accepting connections paused: " + platform::IoError::from_code(code).display() +
                                       "\n");
          paused = true;
        }
        pause.expires_after(next_pause);
        co_await pause.async_wait(asio::as_tuple(asio::use_awaitable));
        next_pause = std::min(next_pause * 2, kLongestPause);
        continue;
      }
      co_return unexpected(platform::IoError::from_code(code));
    }
    paused = false;
    next_pause = kFirstPause;

    tcp::socket socket(executor);
    socket.assign(tcp::v4(), conn, ec);
    if (ec) {
      ::close(conn);
      co_return unexpected(platform::IoError::from_code(ec.value()));
    }
    asio::co_spawn(executor, connection_task(std::move(socket), peer_text(peer), store),
                   platform::ReportFaults{"connection"});
    ++burst;
  }
}

}  // namespace tarnvale::server
