// Canonical and unique node names for CPUs and disks.
#include "metrics/detail/node_name.hpp"

#include <gtest/gtest.h>

namespace tarnvale::metrics {
namespace {

TEST(CanonicalNodeNameTest, KeepsOnlySafeCharactersAndFallsBackWhenNothingIsLeft) {
  struct Case {
    std::string raw;
    std::string want;
  } cases[] = {
      {"cpu0", "cpu0"},
      {"/dev/sda1", "dev_sda1"},
      {"/dev/mapper/vg0-root", "dev_mapper_vg0-root"},
      {"/dev/disk/by-label/My Data", "dev_disk_by-label_My_Data"},
      {"a_ b", "a__b"},  // a "_" of the text ends a run instead of merging with it
      {"a ..b", "a_b"},
      {"__x__", "x"},
      {"\xC3\x9Cn\xC3\xAF" "code", "n_code"},  // Ünïcode: one "_" per character, not per byte
      {"/", "disk3"},
      {"", "disk3"},
      {"___", "disk3"},
      {"\xC3\xA9", "disk3"},  // é
      {"Case", "Case"},
      {"a\xFF\xFE" "b", "a_b"},        // invalid bytes decode as U+FFFD, one run
      {"a\xE2\x82" "b", "a_b"},        // a truncated sequence does not swallow the "b"
      {"x\xF0\x9F\x98\x80y", "x_y"},  // a four-byte character
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.raw);
    EXPECT_EQ(canonical_node_name(c.raw, "disk3"), c.want);
  }
}

TEST(CanonicalNodeNameTest, FallbackIsTakenAsItIs) { EXPECT_EQ(canonical_node_name("..", "/odd fallback/"), "/odd fallback/"); }

TEST(UniqueNodeNameTest, NamesAlreadyInUseGetTheNextFreeNumber) {
  struct Case {
    const char* name;
    NameSet used;
    std::vector<std::string> raws;
    std::vector<std::string> want;
  } cases[] = {
      {"fixed cpu children", {"all", "load_average"}, {"all", "All", "load_average"}, {"all_2", "All", "load_average_2"}},
      {"namesakes", {}, {"dev_sda1", "dev_sda1", "dev_sda1_2"}, {"dev_sda1", "dev_sda1_2", "dev_sda1_2_2"}},
      {"gap filled", {}, {"x", "x_2", "x"}, {"x", "x_2", "x_3"}},
      {"canonical form first", {}, {"/dev/sda1", "dev_sda1"}, {"dev_sda1", "dev_sda1_2"}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> got;
    for (std::size_t i = 0; i < c.raws.size(); ++i) {
      got.push_back(unique_node_name(c.raws[i], "disk" + std::to_string(i), c.used));
      c.used.insert(got.back());
    }
    EXPECT_EQ(got, c.want);
  }
}

TEST(UniqueNodeNameTest, DoesNotAddTheResultToTheSet) {
  const NameSet used{"x"};
  EXPECT_EQ(unique_node_name("x", "f", used), "x_2");
  EXPECT_EQ(unique_node_name("x", "f", used), "x_2");
  EXPECT_EQ(used.size(), 1u);
}

}  // namespace
}  // namespace tarnvale::metrics
