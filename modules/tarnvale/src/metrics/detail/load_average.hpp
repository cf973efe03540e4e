// The 1-, 5- and 15-minute load averages of /proc/loadavg.
#pragma once

#include <string_view>

namespace tarnvale::metrics {

struct LoadAverage {
  double one = 0.0;
  double five = 0.0;
  double fifteen = 0.0;

  friend bool operator==(const LoadAverage&, const LoadAverage&) = default;
};

// The first three pieces of the trimmed text split at single spaces; a piece that is not
// a number is dropped and the next one moves up; averages left without a number are 0.
LoadAverage parse_loadavg(std::string_view text);

}  // namespace tarnvale::metrics
