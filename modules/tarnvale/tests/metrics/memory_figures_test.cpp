// Memory and swap figures from meminfo texts, and what carries over between readings.
#include "metrics/detail/memory_figures.hpp"

#include <limits>

#include <gtest/gtest.h>

namespace tarnvale::metrics {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

TEST(ParseMeminfoTest, TakesKibibytesOfTheKnownKeysAndSkipsTheRest) {
  struct Case {
    const char* name;
    const char* text;
    MeminfoLines want;
  } cases[] = {
      {"units", "MemTotal:       16318428 kB\nMemAvailable:    1 kB\n", {.mem_total = 16318428ull * 1024, .mem_available = 1024}},
      {"no unit", "SwapFree: 3\n", {.swap_free = 3072}},
      {"tab after colon", "SwapTotal:\t7 kB\n", {.swap_total = 7168}},
      {"product held at the top", "MemTotal: 18446744073709551615 kB\n", {.mem_total = kMax}},
      {"number beyond 64 bits skipped", "MemTotal: 18446744073709551616 kB\n", {}},
      {"not a number skipped", "MemTotal: 12x kB\nCached: -1 kB\nBuffers: kB\n", {}},
      {"key compared exactly", "memtotal: 1 kB\nMemTotal : 2 kB\nActive(file): 3 kB\n", {}},
      {"no colon", "MemTotal 5 kB\n", {}},
      {"fallback keys", "MemFree: 1\nBuffers: 2\nCached: 3\nSReclaimable: 4\nShmem: 5\nSwapCached: 9\n",
       {.mem_free = 1024, .buffers = 2048, .cached = 3072, .s_reclaimable = 4096, .shmem = 5120}},
      {"no final newline", "MemTotal: 1 kB", {.mem_total = 1024}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parse_meminfo(c.text), c.want);
  }
}

TEST(MemoryFiguresTest, MissingLinesKeepTheirPreviousValues) {
  MemoryFigures m;
  m.update(parse_meminfo("MemTotal: 100 kB\nMemAvailable: 40 kB\nSwapTotal: 10 kB\nSwapFree: 4 kB\n"));
  m.update(parse_meminfo("MemAvailable: 30 kB\n"));
  EXPECT_EQ(m.total(), 100u * 1024);
  EXPECT_EQ(m.available(), 30u * 1024);
  EXPECT_EQ(m.swap_total(), 10u * 1024);
  EXPECT_EQ(m.swap_free(), 4u * 1024);
}

TEST(MemoryFiguresTest, WithoutMemAvailableTheSumOfTheReclaimableFiguresIsTaken) {
  struct Case {
    const char* name;
    const char* text;
    std::uint64_t want;
  } cases[] = {
      {"sum less shmem", "MemFree: 1000\nBuffers: 100\nCached: 500\nSReclaimable: 50\nShmem: 150\n", 1500u * 1024},
      {"shmem larger than the sum", "MemFree: 1\nBuffers: 1\nCached: 1\nSReclaimable: 1\nShmem: 9\n", 0},
      {"sum held at the top", "MemFree: 18446744073709551615\nCached: 18446744073709551615\nShmem: 1\n", kMax - 1024},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFigures m;
    m.update(parse_meminfo(c.text));
    EXPECT_EQ(m.available(), c.want);
  }
}

TEST(MemoryFiguresTest, UnreadableFileFallsBackToTheKeptReclaimableFigures) {
  MemoryFigures m;
  m.update(parse_meminfo("MemTotal: 100\nMemFree: 10\nCached: 5\nMemAvailable: 60\n"));
  EXPECT_EQ(m.available(), 60u * 1024);
  m.update(MeminfoLines{});
  EXPECT_EQ(m.total(), 100u * 1024);
  EXPECT_EQ(m.available(), 15u * 1024);
}

}  // namespace
}  // namespace tarnvale::metrics
