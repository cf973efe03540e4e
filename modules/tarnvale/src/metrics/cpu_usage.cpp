#include "metrics/cpu_usage.hpp"

#include <algorithm>

#include "metrics/decimal.hpp"
#include "metrics/saturating.hpp"

namespace tarnvale::metrics {

CpuLine parse_cpu_line(std::string_view line) {
  CpuLine parsed;
  std::uint64_t CpuTimes::*const fields[] = {
      &CpuTimes::user,  &CpuTimes::nice,    &CpuTimes::system, &CpuTimes::idle,  &CpuTimes::iowait,
      &CpuTimes::irq,   &CpuTimes::softirq, &CpuTimes::steal,  &CpuTimes::guest, &CpuTimes::guest_nice,
  };
  std::size_t index = 0;  // 0 is the name
  std::size_t pos = 0;
  while (pos < line.size() && index <= std::size(fields)) {
    pos = line.find_first_not_of(' ', pos);
    if (pos == std::string_view::npos) break;
    const std::size_t end = std::min(line.find(' ', pos), line.size());
    const std::string_view field = line.substr(pos, end - pos);
    if (index == 0) {
      parsed.name = field;
    } else {
      parsed.times.*fields[index - 1] = parse_decimal(field).value_or(0);
    }
    ++index;
    pos = end;
  }
  return parsed;
}

CpuCounters CpuCounters::from(const CpuTimes& t) {
  CpuCounters c;
  c.user = saturating_sub(t.user, t.guest);
  c.nice = saturating_sub(t.nice, t.guest_nice);
  c.system = saturating_add(saturating_add(t.system, t.irq), t.softirq);
  c.steal = t.steal;
  c.guest = saturating_add(t.guest, t.guest_nice);
  const std::uint64_t idle = saturating_add(t.idle, t.iowait);
  c.total = saturating_add(
      saturating_add(saturating_add(saturating_add(saturating_add(c.user, c.nice), c.system), idle), c.guest), c.steal);
  return c;
}

float cpu_usage(const CpuCounters& old, const CpuCounters& now) {
  const std::uint64_t user = saturating_sub(now.user, old.user);
  const std::uint64_t nice = saturating_sub(now.nice, old.nice);
  const std::uint64_t system = saturating_sub(now.system, old.system);
  const std::uint64_t steal = saturating_sub(now.steal, old.steal);
  const std::uint64_t guest = saturating_sub(now.guest, old.guest);
  const float d = static_cast<float>(now.total > old.total ? now.total - old.total : 1);
  // The order of the additions is part of the figure: single precision rounds each step.
  const float usage = (((static_cast<float>(user) / d + static_cast<float>(nice) / d) + static_cast<float>(system) / d) +
                       static_cast<float>(saturating_add(steal, guest)) / d) *
                      100.0F;
  return std::min(usage, 100.0F);
}

}  // namespace tarnvale::metrics
