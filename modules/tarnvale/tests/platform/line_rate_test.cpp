// The rate limit of one kind of line: bursts under it are written whole, floods are written
// at the rate with one summary a second, and every line is either written or counted.
#include "platform/detail/line_rate.hpp"

#include <vector>

#include <gtest/gtest.h>

namespace tarnvale::platform {
namespace {

using namespace std::chrono_literals;
using Clock = LineRate::Clock;

TEST(LineRateTest, BurstUnderTheRateIsWrittenWhole) {
  LineRate rate(10);
  const Clock::time_point t0{};
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(rate.admit(t0 + i * 1ms)) << i;
  EXPECT_EQ(rate.summary_due(), std::nullopt);
  EXPECT_EQ(rate.take_summary(t0 + 2s), 0u);
  // The next burst starts a second of its own.
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(rate.admit(t0 + 2s + i * 1ms)) << i;
}

// The caller's timer: a summary at each due time, and before a line past it.
TEST(LineRateTest, FloodIsWrittenAtTheRateWithOneSummaryASecondThatAddsUp) {
  LineRate rate(10);
  const Clock::time_point t0{};
  constexpr int kLines = 100'000;  // one every 100 µs for 10 s
  std::uint64_t written = 0;
  std::vector<std::pair<Clock::time_point, std::uint64_t>> summaries;
  auto summarize_due = [&](Clock::time_point now) {
    if (const std::uint64_t n = rate.take_summary(now)) summaries.emplace_back(now, n);
  };
  for (int i = 0; i < kLines; ++i) {
    const Clock::time_point now = t0 + i * 100us;
    if (const auto due = rate.summary_due(); due && *due <= now) summarize_due(*due);
    summarize_due(now);
    if (rate.admit(now)) ++written;
  }
  summarize_due(*rate.summary_due());

  EXPECT_EQ(summaries.size(), 10u);
  EXPECT_EQ(written, 10u * summaries.size());
  std::uint64_t counted = 0;
  for (std::size_t i = 0; i < summaries.size(); ++i) {
    SCOPED_TRACE(i);
    counted += summaries[i].second;
    if (i > 0) {
      EXPECT_GE(summaries[i].first - summaries[i - 1].first, 1s);
    }
  }
  EXPECT_EQ(written + counted, static_cast<std::uint64_t>(kLines));
  EXPECT_EQ(rate.summary_due(), std::nullopt);
}

// A count that no summary took before the next second began is carried, not lost; and the
// process end takes what is left out whatever the second.
TEST(LineRateTest, CountsNotSummarizedAreCarriedAndTakenAtTheEnd) {
  LineRate rate(1);
  const Clock::time_point t0{};
  EXPECT_TRUE(rate.admit(t0));
  EXPECT_FALSE(rate.admit(t0 + 1ms));
  EXPECT_TRUE(rate.admit(t0 + 1500ms));  // no take_summary in between
  EXPECT_FALSE(rate.admit(t0 + 1600ms));
  EXPECT_EQ(rate.summary_due(), t0 + 2500ms);
  EXPECT_EQ(rate.take_summary(t0 + 2s), 0u);  // that second is not over
  EXPECT_EQ(rate.take_all(), 2u);
  EXPECT_EQ(rate.summary_due(), std::nullopt);
}

}  // namespace
}  // namespace tarnvale::platform
