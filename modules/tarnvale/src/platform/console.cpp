#include "platform/console.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace tarnvale::platform {

Result<void, IoError> write_stdout(std::string_view line) {
  errno = 0;
  if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fflush(stdout) != 0) {
    const int code = errno != 0 ? errno : EIO;
    std::clearerr(stdout);
    return unexpected(IoError::from_code(code));
  }
  return {};
}

Result<void, IoError> write_stderr(std::string_view line) {
  while (!line.empty()) {
    const ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return unexpected(IoError::from_code(errno));
    }
    line.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

}  // namespace tarnvale::platform
