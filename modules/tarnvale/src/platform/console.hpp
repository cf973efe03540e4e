// Whole lines to standard output (line-buffered stdio) and standard error (unbuffered).
#pragma once

#include <string_view>

#include "platform/io_error.hpp"
#include "platform/result.hpp"

namespace tarnvale::platform {

// Writes `line` (which ends in "\n") to standard output and flushes it.
Result<void, IoError> write_stdout(std::string_view line);
// Writes `line` to standard error in one write where the kernel takes it whole.
Result<void, IoError> write_stderr(std::string_view line);

}  // namespace tarnvale::platform
