#include "protocol/system_path.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnvale::protocol {
namespace {

constexpr std::string_view kEmpty = "path must not be empty";
constexpr std::string_view kTooLong = "path exceeds 512 bytes";
constexpr std::string_view kWhiteSpace = "path must not contain leading or trailing whitespace";
constexpr std::string_view kTooManySegments = "path exceeds 64 segments";
constexpr std::string_view kNotSystem = "path must be 'system' or start with 'system.'";
constexpr std::string_view kEmptySegment = "path segments must not be empty";
constexpr std::string_view kBadCharacter = "path segments may contain only ASCII letters, digits, '-' and '_'";

std::string repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

TEST(SystemPathTest, RefusalsFollowTheOrderOfTheChecks) {
  struct Case {
    std::string text;
    std::string_view want;
  } cases[] = {
      {"", kEmpty},
      {" system", kWhiteSpace},
      {"system\n", kWhiteSpace},
      {"system\t", kWhiteSpace},
      {"system\u00a0", kWhiteSpace},
      {"system\u3000", kWhiteSpace},
      {"\u2029system", kWhiteSpace},
      {"\x0bsystem", kWhiteSpace},
      {std::string(513, ' '), kTooLong},
      {"system." + std::string(506, 'a'), kTooLong},
      {"system. cpu", kBadCharacter},
      {"system.cpu x", kBadCharacter},
      {"System", kNotSystem},
      {"SYSTEM.cpu", kNotSystem},
      {"systems", kNotSystem},
      {"sys.cpu", kNotSystem},
      {"cpu.system", kNotSystem},
      {".system", kNotSystem},
      {".", kNotSystem},
      {"..", kNotSystem},
      {"system.", kEmptySegment},
      {"system..cpu", kEmptySegment},
      {"system.cpu.", kEmptySegment},
      {"system.a!..b", kEmptySegment},
      {"system.\xc3\xbc" "ber", kBadCharacter},
      {"system.cpu/0", kBadCharacter},
      {"system.*", kBadCharacter},
      {"system.cpu\u200b", kBadCharacter},
      {"system.cpu\u0085x", kBadCharacter},
      {"system" + repeat(".x", 64), kTooManySegments},
      {"cpu" + repeat(".x", 64), kTooManySegments},
      {repeat(".", 64), kTooManySegments},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto result = SystemPath::parse(c.text);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), c.want);
  }
}

TEST(SystemPathTest, ValidPathKeepsTextAndSegments) {
  const std::string longest = "system." + std::string(505, 'a');
  const std::string most_segments = "system" + repeat(".x", 63);
  struct Case {
    std::string text;
    std::vector<std::string> segments;
  } cases[] = {
      {"system", {"system"}},
      {"system.cpu.all", {"system", "cpu", "all"}},
      {"system.cpu0", {"system", "cpu0"}},
      {"system.a-b_C9", {"system", "a-b_C9"}},
      {"system.-", {"system", "-"}},
      {"system.Memory", {"system", "Memory"}},
      {longest, {"system", std::string(505, 'a')}},
      {most_segments, std::vector<std::string>(64, "x")},
  };
  cases[7].segments[0] = "system";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto result = SystemPath::parse(c.text);
    ASSERT_TRUE(result) << result.error();
    EXPECT_EQ(result->text(), c.text);
    EXPECT_EQ(result->segments(), c.segments);
  }
}

}  // namespace
}  // namespace tarnvale::protocol
