#include "metrics/detail/cpu_readings.hpp"

#include "metrics/detail/node_name.hpp"
#include "metrics/detail/text_lines.hpp"

namespace tarnvale::metrics {

bool CpuReadings::begin_reading(std::chrono::steady_clock::time_point now) {
  if (last_reading_ && now - *last_reading_ < kMinCpuInterval) return false;
  last_reading_ = now;
  return true;
}

void CpuReadings::update(std::string_view stat) {
  const std::string_view aggregate = take_line(stat);
  if (!aggregate.starts_with("cpu ")) return;
  const CpuCounters overall = CpuCounters::from(parse_cpu_line(aggregate).times);
  overall_ = cpu_usage(overall_counters_, overall);
  overall_counters_ = overall;

  const bool making_list = cpus_.empty();
  for (std::size_t k = 0; !stat.empty(); ++k) {
    const std::string_view text = take_line(stat);
    if (!text.starts_with("cpu")) break;
    const CpuLine line = parse_cpu_line(text);
    const CpuCounters counters = CpuCounters::from(line.times);
    if (making_list) {
      cpus_.push_back(CpuEntry{canonical_node_name(line.name, "cpu" + std::to_string(k)), counters, 0.0F});
    } else if (k < cpus_.size()) {
      CpuEntry& entry = cpus_[k];
      entry.usage = cpu_usage(entry.counters, counters);
      entry.counters = counters;
    } else {
      break;  // a CPU that came online later is not added
    }
  }
}

}  // namespace tarnvale::metrics
