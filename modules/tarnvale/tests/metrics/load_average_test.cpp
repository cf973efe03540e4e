// Load averages from /proc/loadavg texts.
#include "metrics/detail/load_average.hpp"

#include <gtest/gtest.h>

namespace tarnvale::metrics {
namespace {

TEST(ParseLoadavgTest, FirstThreePiecesWithUnreadableOnesDropped) {
  struct Case {
    const char* text;
    LoadAverage want;
  } cases[] = {
      {"0.52 0.58 0.59 2/345 12345\n", {0.52, 0.58, 0.59}},
      {"  1.5 2 3  \n", {1.5, 2.0, 3.0}},
      {"busy 0.5 0.25 0.125\n", {0.5, 0.25, 0.0}},  // only three pieces are taken
      {"0.1  0.2 0.3\n", {0.1, 0.2, 0.0}},         // a double space makes an empty piece
      {"0.1 0.2\n", {0.1, 0.2, 0.0}},
      {"", {0.0, 0.0, 0.0}},
      {"1e2 +0.5 -1\n", {100.0, 0.5, -1.0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_loadavg(c.text), c.want);
  }
}

}  // namespace
}  // namespace tarnvale::metrics
