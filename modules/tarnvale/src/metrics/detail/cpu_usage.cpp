#include "metrics/detail/cpu_usage.hpp"

#include <algorithm>

#include "metrics/detail/decimal.hpp"
#include "metrics/detail/saturating.hpp"

namespace tarnvale::metrics {

CpuLine parse_cpu_line(std::string_view line) {
  CpuLine parsed;
  std::uint64_t CpuTimes::*const fields[] = {
      &CpuTimes::user,  &CpuTimes::nice,    &CpuTimes::system, &CpuTimes::idle,  &CpuTimes::iowait,
      &CpuTimes::irq,   &CpuTimes::softirq, &CpuTimes::steal,  &CpuTimes::guest, &CpuTimes::guest_nice,
  };
  // The next field at runs of spaces, scanned by hand: a line has eleven short fields.
  std::size_t pos = 0;
  auto next = [&line, &pos] {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    const std::size_t start = pos;
    while (pos < line.size() && line[pos] != ' ') ++pos;
    return line.substr(start, pos - start);
  };
  parsed.name = next();
  for (const auto field : fields) {
    const std::string_view text = next();
    if (text.empty()) break;
    parsed.times.*field = parse_decimal(text).value_or(0);
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
