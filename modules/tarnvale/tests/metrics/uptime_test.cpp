// Uptime in whole seconds from /proc/uptime texts.
#include "metrics/detail/uptime.hpp"

#include <gtest/gtest.h>

namespace tarnvale::metrics {
namespace {

TEST(ParseUptimeTest, WholeSecondsBeforeThePointOrNone) {
  struct Case {
    const char* text;
    std::optional<std::uint64_t> want;
  } cases[] = {
      {"12345.99 40000.00\n", 12345},  // truncated, not rounded
      {"0.00 0.00\n", 0},
      {".5 1.0\n", std::nullopt},
      {"12345 40000\n", std::nullopt},
      {"", std::nullopt},
      {"-1.0 2.0\n", std::nullopt},
      {"18446744073709551616.0 1.0\n", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_uptime(c.text), c.want);
  }
}

}  // namespace
}  // namespace tarnvale::metrics
