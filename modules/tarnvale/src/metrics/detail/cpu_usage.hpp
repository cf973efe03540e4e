// The counters of one CPU line of /proc/stat and the usage between two readings of it.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarnvale::metrics {

// The ten counters of a line, in clock ticks, in the kernel's order.
struct CpuTimes {
  std::uint64_t user = 0;
  std::uint64_t nice = 0;
  std::uint64_t system = 0;
  std::uint64_t idle = 0;
  std::uint64_t iowait = 0;
  std::uint64_t irq = 0;
  std::uint64_t softirq = 0;
  std::uint64_t steal = 0;
  std::uint64_t guest = 0;
  std::uint64_t guest_nice = 0;

  friend bool operator==(const CpuTimes&, const CpuTimes&) = default;
};

struct CpuLine {
  std::string_view name;  // "cpu", "cpu0", …
  CpuTimes times;         // a missing or unreadable counter is 0
};

// Splits a line at runs of spaces: the name, then the counters.
CpuLine parse_cpu_line(std::string_view line);

// The groups the usage rule compares. Guest time is counted once, in its own group, not
// again inside user and nice time.
struct CpuCounters {
  std::uint64_t user = 0;    // user − guest
  std::uint64_t nice = 0;    // nice − guest_nice
  std::uint64_t system = 0;  // system + irq + softirq
  std::uint64_t steal = 0;
  std::uint64_t guest = 0;  // guest + guest_nice
  std::uint64_t total = 0;  // all of the above + idle + iowait

  static CpuCounters from(const CpuTimes& times);
  friend bool operator==(const CpuCounters&, const CpuCounters&) = default;
};

// The share of non-idle time between two readings, in percent, 0…100, in single precision.
// A counter that went backwards adds nothing; a total that did not grow gives 0.
float cpu_usage(const CpuCounters& old, const CpuCounters& now);

}  // namespace tarnvale::metrics
