// What the kernel reports of another process: its CPU time and its resident memory.
#pragma once

#include <cstdint>
#include <optional>

namespace tarnvale::loadgen {

struct CpuTime {
  // utime and stime from /proc/<pid>/stat, in clock ticks turned into nanoseconds.
  std::int64_t user_ns = 0;
  std::int64_t system_ns = 0;
  std::int64_t stat_ns() const { return user_ns + system_ns; }
  // The run time from /proc/<pid>/schedstat (nanosecond resolution), where the kernel keeps it.
  std::optional<std::int64_t> sched_ns;
};

std::optional<CpuTime> read_cpu_time(int pid);

// The CPU time spent between two readings: from schedstat where both have it, else from
// stat; the stat figure alone; and the kernel's share of the stat figure.
struct CpuSpent {
  double ns;
  double stat_ns;
  double kernel_share;
};
CpuSpent cpu_spent(const CpuTime& before, const CpuTime& after);
// VmRSS from /proc/<pid>/status, in bytes.
std::optional<std::int64_t> read_rss(int pid);

}  // namespace tarnvale::loadgen
