#include "metrics/detail/text_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/utf8.hpp"

namespace tarnvale::metrics {

namespace {

// Files under /proc report a size of 0, so the buffer grows as the text arrives.
constexpr std::size_t kInitialSize = 4096;

}  // namespace

TextFile::~TextFile() { close(); }

void TextFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::optional<std::string_view> TextFile::read() {
  while (fd_ < 0) {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0 && errno != EINTR) return std::nullopt;
  }
  if (buffer_.empty()) buffer_.resize(kInitialSize);
  // A seq_file may end a read early at a record that does not fit its own buffer, so the
  // text is whole only when a read returns nothing.
  std::size_t length = 0;
  for (;;) {
    if (length == buffer_.size()) buffer_.resize(buffer_.size() * 2);
    const ssize_t n = ::pread(fd_, buffer_.data() + length, buffer_.size() - length, static_cast<off_t>(length));
    if (n > 0) {
      length += static_cast<std::size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      close();
      return std::nullopt;
    }
  }
  const std::string_view text(buffer_.data(), length);
  if (!platform::is_valid_utf8(text)) return std::nullopt;
  return text;
}

}  // namespace tarnvale::metrics
