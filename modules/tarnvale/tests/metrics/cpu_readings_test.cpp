// CPU counters, the usage rule between two readings, the per-CPU list and the 200 ms rule.
#include "metrics/detail/cpu_readings.hpp"

#include <limits>

#include <gtest/gtest.h>

namespace tarnvale::metrics {
namespace {

using std::chrono::milliseconds;
constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

TEST(ParseCpuLineTest, NameThenTenCountersWithMissingOnesZero) {
  struct Case {
    const char* line;
    const char* name;
    CpuTimes want;
  } cases[] = {
      {"cpu  1 2 3 4 5 6 7 8 9 10", "cpu", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"cpu7 1 2 3 4", "cpu7", {1, 2, 3, 4, 0, 0, 0, 0, 0, 0}},
      {"cpu1 1 x 3 4 5 6 7 8 9 10 11 12", "cpu1", {1, 0, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"  cpu2   5    6 ", "cpu2", {5, 6, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"cpu3", "cpu3", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const CpuLine line = parse_cpu_line(c.line);
    EXPECT_EQ(line.name, c.name);
    EXPECT_EQ(line.times, c.want);
  }
}

TEST(CpuUsageTest, ShareOfNonIdleTimeBetweenTwoReadings) {
  auto at = [](CpuTimes t) { return CpuCounters::from(t); };
  struct Case {
    const char* name;
    CpuTimes old, now;
    float want;
  } cases[] = {
      {"D 200, busy 80", {1000, 0, 500, 8000, 500}, {1060, 0, 520, 8100, 520}, 40.0F},
      {"counters did not move", {5, 5, 5, 5, 5}, {5, 5, 5, 5, 5}, 0.0F},
      {"guest counted once", {.user = 200, .idle = 1000, .guest = 50}, {.user = 250, .idle = 1050, .guest = 100}, 50.0F},
      {"guest_nice counted once", {.nice = 20, .idle = 10, .guest_nice = 10}, {.nice = 30, .idle = 20, .guest_nice = 20}, 50.0F},
      {"guest above user", {.user = 1, .idle = 10, .guest = 5}, {.user = 1, .idle = 10, .guest = 5}, 0.0F},
      {"steal and irq are busy", {.idle = 10}, {.idle = 14, .irq = 1, .softirq = 1, .steal = 2}, 50.0F},
      {"iowait is idle", {}, {.idle = 1, .iowait = 3}, 0.0F},
      {"a counter went back", {.user = 50, .idle = 50}, {.user = 40, .idle = 60}, 0.0F},
      {"total went back: D is 1", {.user = 100, .idle = 5000}, {.user = 300, .idle = 4000}, 100.0F},
      {"single precision", {.user = 10, .idle = 20}, {.user = 11, .idle = 22}, 1.0F / 3.0F * 100.0F},
      {"saturating sums", {}, {.system = kMax, .idle = 1, .irq = kMax}, 100.0F},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cpu_usage(at(c.old), at(c.now)), c.want);
  }
}

const char* kStatA =
    "cpu  100 0 100 800 0 0 0 0 0 0\n"
    "cpu0 50 0 50 400 0 0 0 0 0 0\n"
    "cpu1 50 0 50 400 0 0 0 0 0 0\n"
    "intr 1 2 3\n";

TEST(CpuReadingsTest, FirstReadingMakesTheListWithZeroUsageAndTheOverallSinceBoot) {
  CpuReadings cpu;
  cpu.update(kStatA);
  ASSERT_EQ(cpu.cpus().size(), 2u);
  EXPECT_EQ(cpu.cpus()[0].node_name, "cpu0");
  EXPECT_EQ(cpu.cpus()[1].node_name, "cpu1");
  EXPECT_EQ(cpu.cpus()[0].usage, 0.0F);
  EXPECT_EQ(cpu.overall(), 20.0F);
}

TEST(CpuReadingsTest, ListIsNeverRebuilt) {
  CpuReadings cpu;
  cpu.update(kStatA);
  // cpu1 went offline, a new CPU came online: entries are matched by position.
  cpu.update("cpu  200 0 100 900 0 0 0 0 0 0\ncpu0 150 0 50 500 0 0 0 0 0 0\n");
  ASSERT_EQ(cpu.cpus().size(), 2u);
  EXPECT_EQ(cpu.cpus()[0].usage, 50.0F);
  EXPECT_EQ(cpu.cpus()[1].usage, 0.0F);
  cpu.update("cpu  300 0 100 1000 0 0 0 0 0 0\ncpuA 150 0 50 500 0 0 0 0 0 0\ncpuB 60 0 50 410 0 0 0 0 0 0\n"
             "cpuC 1 1 1 1\n");
  ASSERT_EQ(cpu.cpus().size(), 2u);
  EXPECT_EQ(cpu.cpus()[1].node_name, "cpu1");
  EXPECT_EQ(cpu.cpus()[1].usage, 50.0F);
  EXPECT_EQ(cpu.overall(), 50.0F);
}

TEST(CpuReadingsTest, TextWithoutTheAggregateLineChangesNothing) {
  for (const char* text : {"intr 1\ncpu  1 1 1 1\n", "cpu0 1 2 3 4\n", "", "cpu\n"}) {
    SCOPED_TRACE(text);
    CpuReadings cpu;
    cpu.update(kStatA);
    cpu.update(text);
    EXPECT_EQ(cpu.overall(), 20.0F);
    EXPECT_EQ(cpu.cpus().size(), 2u);
  }
}

TEST(CpuReadingsTest, EmptyListIsMadeByALaterReading) {
  CpuReadings cpu;
  cpu.update("cpu  1 0 0 1\n");
  EXPECT_TRUE(cpu.cpus().empty());
  cpu.update("cpu  2 0 0 2\ncpu0 1 0 0 1\n");
  ASSERT_EQ(cpu.cpus().size(), 1u);
  EXPECT_EQ(cpu.cpus()[0].usage, 0.0F);
}

TEST(CpuReadingsTest, ReadingsCloserThan200MillisecondsAreSkipped) {
  CpuReadings cpu;
  const std::chrono::steady_clock::time_point t0{std::chrono::hours(1)};
  struct Step {
    milliseconds at;
    bool due;
  } steps[] = {{milliseconds(0), true}, {milliseconds(199), false}, {milliseconds(200), true},
               {milliseconds(350), false}, {milliseconds(400), true}};
  for (const auto& s : steps) {
    SCOPED_TRACE(s.at.count());
    EXPECT_EQ(cpu.begin_reading(t0 + s.at), s.due);
  }
}

}  // namespace
}  // namespace tarnvale::metrics
