#include "metrics/detail/percentage.hpp"

#include <algorithm>
#include <cmath>

namespace tarnvale::metrics {

double round2(double x) { return std::round(x * 100.0) / 100.0; }

double percentage(std::uint64_t used, std::uint64_t total) {
  if (total == 0) return 0.0;
  const double q = static_cast<double>(used) * 100.0 / static_cast<double>(total);
  return round2(std::min(q, 100.0));
}

double cpu_percentage(double usage) {
  if (!std::isfinite(usage)) return 0.0;
  return round2(std::clamp(usage, 0.0, 100.0));
}

}  // namespace tarnvale::metrics
