// The kernel calls of a metrics source besides file reads, replaceable so that a source can
// run on fixtures.
#pragma once

#include <sys/statvfs.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace tarnvale::metrics {

// statvfs(2): 0 on success, -1 with errno set on failure.
using StatvfsCall = std::function<int(const char* path, struct ::statvfs* out)>;

// The uptime field of the sysinfo system call, or none if the call fails.
std::optional<std::uint64_t> sysinfo_uptime();

struct HostCalls {
  StatvfsCall statvfs = ::statvfs;
  std::function<std::chrono::steady_clock::time_point()> monotonic_now = std::chrono::steady_clock::now;
  // The uptime when the uptime file cannot be read or parsed; none gives 0.
  std::function<std::optional<std::uint64_t>()> fallback_uptime = sysinfo_uptime;
};

}  // namespace tarnvale::metrics
