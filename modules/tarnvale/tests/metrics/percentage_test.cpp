// Two-decimal rounding and the percentage and CPU rules of the published figures.
#include "metrics/detail/percentage.hpp"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace tarnvale::metrics {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

TEST(Round2Test, RoundsHalvesAwayFromZeroInDoublePrecision) {
  struct Case {
    double x;
    double want;
  } cases[] = {
      {0.125, 0.13}, {2.675, 2.68}, {12.345, 12.35}, {33.3333, 33.33}, {99.995, 100.0}, {1.005, 1.0}, {-0.125, -0.13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.x);
    EXPECT_EQ(round2(c.x), c.want);
  }
}

TEST(PercentageTest, ZeroTotalGivesZeroAndTheResultNeverPasses100) {
  struct Case {
    std::uint64_t used, total;
    double want;
  } cases[] = {
      {5, 0, 0.0},
      {0, 0, 0.0},
      {2'048'000'000, 8'192'000'000, 25.0},
      {1, 3, 33.33},
      {2, 3, 66.67},
      {7, 5, 100.0},
      {kMax, kMax, 100.0},  // multiplied first in double precision: no overflow
      {kMax, 1, 100.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.used) + "/" + std::to_string(c.total));
    EXPECT_EQ(percentage(c.used, c.total), c.want);
  }
}

TEST(CpuPercentageTest, HeldToTheRangeAndNonFiniteGivesZero) {
  struct Case {
    double usage;
    double want;
  } cases[] = {
      {12.5, 12.5}, {33.333333, 33.33}, {100.0, 100.0}, {150.0, 100.0}, {-3.0, 0.0},
      {std::nan(""), 0.0}, {kInf, 0.0}, {-kInf, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.usage);
    EXPECT_EQ(cpu_percentage(c.usage), c.want);
  }
}

}  // namespace
}  // namespace tarnvale::metrics
