#include "server/detail/listen_socket.hpp"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <utility>

namespace tarnvale::server {

namespace {

constexpr int kBacklog = 128;

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

}  // namespace

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
      ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(fd.get(), kBacklog) != 0) {
    return unexpected(platform::IoError::from_code(errno));
  }
  return fd.release();
}

Result<Accepted, int> accept_connection(int listener) {
  Accepted accepted{};
  socklen_t peer_len = sizeof accepted.peer;
  accepted.fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&accepted.peer), &peer_len,
                          SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (accepted.fd < 0) return unexpected(errno);
  return accepted;
}

AcceptError classify_accept_error(int code) {
  switch (code) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
      return AcceptError::would_block;
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
      return AcceptError::per_connection;
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
      return AcceptError::shortage;
    default:
      return AcceptError::fatal;
  }
}

std::string peer_text(const sockaddr_in& peer) {
  char ip[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
  return std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port));
}

}  // namespace tarnvale::server
