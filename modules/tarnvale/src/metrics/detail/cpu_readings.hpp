// The CPU readings of /proc/stat: the overall usage and the per-CPU list, which is made by
// the first reading that has CPU lines and never rebuilt.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "metrics/detail/cpu_usage.hpp"

namespace tarnvale::metrics {

// Readings closer together than this reuse the previous figures.
inline constexpr std::chrono::milliseconds kMinCpuInterval{200};

struct CpuEntry {
  std::string node_name;  // canonical, fixed when the list is made
  CpuCounters counters;
  float usage = 0.0F;
};

class CpuReadings {
 public:
  // True when a reading is due at `now`: none was taken before, or at least 200 ms have
  // passed since the previous one. A due reading's time is stored at once, whether or not
  // the file can then be read.
  bool begin_reading(std::chrono::steady_clock::time_point now);

  // Takes the text of /proc/stat. It must start with the aggregate "cpu " line, or nothing
  // changes; the CPU lines that follow it update the list entry by entry.
  void update(std::string_view stat);

  float overall() const { return overall_; }
  const std::vector<CpuEntry>& cpus() const { return cpus_; }

 private:
  std::optional<std::chrono::steady_clock::time_point> last_reading_;
  CpuCounters overall_counters_;  // zero before the first reading: the first figure is since boot
  float overall_ = 0.0F;
  std::vector<CpuEntry> cpus_;
};

}  // namespace tarnvale::metrics
