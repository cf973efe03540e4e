// The one clock of the load generator: the monotonic clock, shared by all threads.
#pragma once

#include <chrono>
#include <cstdint>

namespace tarnvale::loadgen {

inline std::int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace tarnvale::loadgen
