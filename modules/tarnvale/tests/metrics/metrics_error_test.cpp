// The displayed and debug forms of a metrics failure.
#include "metrics/metrics_error.hpp"

#include <gtest/gtest.h>

namespace tarnvale::metrics {
namespace {

TEST(MetricsErrorTest, DisplayIsTheMessageAndDebugQuotesIt) {
  struct Case {
    const char* message;
    const char* debug;
  } cases[] = {
      {"meminfo unreadable", R"(MetricsError { message: "meminfo unreadable" })"},
      {"say \"hi\"\\\n", R"(MetricsError { message: "say \"hi\"\\\n" })"},
      {"", R"(MetricsError { message: "" })"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const MetricsError e(c.message);
    EXPECT_EQ(e.display(), c.message);
    EXPECT_EQ(e.debug(), c.debug);
  }
}

}  // namespace
}  // namespace tarnvale::metrics
