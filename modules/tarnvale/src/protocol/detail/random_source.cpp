#include "protocol/detail/random_source.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include "platform/io_error.hpp"

namespace tarnvale::protocol {

namespace {

[[noreturn]] void fail(int code) {
  throw std::runtime_error("no random bytes for a message identifier: " + platform::error_text(code) +
                           " (os error " + std::to_string(code) + ")");
}

// A zero-byte, non-blocking call tells whether the kernel has getrandom and lets us use it.
bool getrandom_available() {
  if (::getrandom(nullptr, 0, GRND_NONBLOCK) >= 0) return true;
  return errno != ENOSYS && errno != EPERM;
}

// /dev/urandom, opened once, after /dev/random has become readable (the pool is initialised).
int urandom_fd() {
  static const int fd = [] {
    const int random = ::open("/dev/random", O_RDONLY | O_CLOEXEC);
    if (random < 0) fail(errno);
    pollfd waiter{random, POLLIN, 0};
    while (::poll(&waiter, 1, -1) < 0) {
      if (errno != EINTR) {
        const int code = errno;
        ::close(random);
        fail(code);
      }
    }
    ::close(random);
    const int urandom = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (urandom < 0) fail(errno);
    return urandom;
  }();
  return fd;
}

}  // namespace

void fill_random(unsigned char* out, std::size_t size) {
  static const bool use_getrandom = getrandom_available();
  const int fd = use_getrandom ? -1 : urandom_fd();
  while (size > 0) {
    const ssize_t got = use_getrandom ? ::getrandom(out, size, 0) : ::read(fd, out, size);
    if (got < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    if (got == 0) fail(EIO);  // end of file on a character device: nothing more will come
    out += got;
    size -= static_cast<std::size_t>(got);
  }
}

}  // namespace tarnvale::protocol
