#include "metrics/text_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/utf8.hpp"

namespace tarnvale::metrics {

namespace {

// Files under /proc report a size of 0, so the buffer grows as the text arrives.
constexpr std::size_t kInitialSize = 4096;

}  // namespace

std::optional<std::string_view> TextFile::read() {
  int fd;
  do {
    fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::nullopt;
  if (buffer_.empty()) buffer_.resize(kInitialSize);
  std::size_t length = 0;
  bool failed = false;
  for (;;) {
    if (length == buffer_.size()) buffer_.resize(buffer_.size() * 2);
    const ssize_t n = ::read(fd, buffer_.data() + length, buffer_.size() - length);
    if (n > 0) {
      length += static_cast<std::size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      failed = true;
      break;
    }
  }
  ::close(fd);
  if (failed) return std::nullopt;
  const std::string_view text(buffer_.data(), length);
  if (!platform::is_valid_utf8(text)) return std::nullopt;
  return text;
}

}  // namespace tarnvale::metrics
