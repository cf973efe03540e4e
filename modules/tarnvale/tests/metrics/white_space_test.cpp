// Trimming and field splitting at Unicode white space.
#include "metrics/detail/white_space.hpp"

#include <gtest/gtest.h>

#include "platform/utf8.hpp"

namespace tarnvale::metrics {
namespace {

TEST(WhiteSpaceTest, UnicodeWhiteSpaceIsTrimmedAndSplitsFields) {
  EXPECT_EQ(trim_white_space(" \t\xE3\x80\x80x y\xC2\x85\n"), "x y");
  EXPECT_EQ(trim_start_white_space("\xE2\x80\x83 x "), "x ");
  EXPECT_EQ(trim_white_space(" \n "), "");
  std::size_t pos = 0;
  const std::string_view text = "a\xE2\x80\xA8" "b\xC3\xA9  c";
  std::vector<std::string_view> fields;
  for (auto f = next_field(text, pos); !f.empty(); f = next_field(text, pos)) fields.push_back(f);
  EXPECT_EQ(fields, (std::vector<std::string_view>{"a", "b\xC3\xA9", "c"}));
  for (char32_t c : {U'\u200B', U'\u00E9', U'\uFEFF'}) EXPECT_FALSE(platform::is_white_space(c));
}

}  // namespace
}  // namespace tarnvale::metrics
