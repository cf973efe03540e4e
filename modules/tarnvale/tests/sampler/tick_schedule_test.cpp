// The tick grid: on-time ticks step one period, late ones skip the points they passed.
#include "sampler/detail/tick_schedule.hpp"

#include <gtest/gtest.h>

namespace tarnvale::sampler {
namespace {

using std::chrono::milliseconds;

TEST(NextDeadlineTest, StaysOnTheGridAndSkipsMissedTicks) {
  const Clock::time_point t0{std::chrono::hours(5)};
  const milliseconds p(1000);
  struct Case {
    const char* name;
    milliseconds due, taken, want;
  } cases[] = {
      {"on time", milliseconds(0), milliseconds(0), milliseconds(1000)},
      {"a little late", milliseconds(1000), milliseconds(1900), milliseconds(2000)},
      {"exactly one period late", milliseconds(1000), milliseconds(2000), milliseconds(3000)},
      {"2.5 periods late", milliseconds(1000), milliseconds(3500), milliseconds(4000)},
      {"many periods late", milliseconds(0), milliseconds(10'001), milliseconds(11'000)},
      {"early (never from a timer)", milliseconds(1000), milliseconds(900), milliseconds(2000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(next_deadline(t0 + c.due, p, t0 + c.taken), t0 + c.want);
  }
}

}  // namespace
}  // namespace tarnvale::sampler
