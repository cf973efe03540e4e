// The rounding and percentage rules of the published figures.
#pragma once

#include <cstdint>

namespace tarnvale::metrics {

// x rounded to two decimals in double precision: round(x × 100), halves away from zero,
// then ÷ 100, with no decimal correction (so 1.005 gives 1.0 and 2.675 gives 2.68).
double round2(double x);

// used × 100 ÷ total, at most 100, rounded to two decimals; 0.0 when total is 0.
double percentage(std::uint64_t used, std::uint64_t total);

// A CPU usage held to 0…100 and rounded to two decimals; 0.0 when not finite.
double cpu_percentage(double usage);

}  // namespace tarnvale::metrics
