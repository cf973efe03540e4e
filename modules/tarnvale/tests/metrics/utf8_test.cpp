// Lossy UTF-8 decoding, validity and white space.
#include "metrics/utf8.hpp"

#include <gtest/gtest.h>

namespace tarnvale::metrics {
namespace {

std::u32string decode_all(std::string_view text) {
  std::u32string out;
  std::size_t pos = 0;
  while (pos < text.size()) out.push_back(decode_utf8(text, pos));
  return out;
}

TEST(DecodeUtf8, IllFormedSequencesBecomeOneReplacementPerMaximalSubpart) {
  struct Case {
    const char* name;
    std::string text;
    std::u32string want;
    bool valid;
  } cases[] = {
      {"ascii", "ab", U"ab", true},
      {"two to four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", U"\u00E9\u20AC\U0001F600", true},
      {"stray continuation", "\x80" "a", U"\uFFFD" "a", false},
      {"truncated three-byte", "\xE2\x82" "a", U"\uFFFD" "a", false},
      {"overlong", "\xC0\xAF", U"\uFFFD\uFFFD", false},
      {"surrogate", "\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD", false},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD", false},
      {"replacement character itself", "\xEF\xBF\xBD", U"\uFFFD", true},
      {"truncated at the end", "a\xF0\x9F", U"a\uFFFD", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decode_all(c.text), c.want);
    EXPECT_EQ(is_valid_utf8(c.text), c.valid);
  }
}

TEST(WhiteSpace, UnicodeWhiteSpaceIsTrimmedAndSplitsFields) {
  EXPECT_EQ(trim_white_space(" \t\xE3\x80\x80x y\xC2\x85\n"), "x y");
  EXPECT_EQ(trim_start_white_space("\xE2\x80\x83 x "), "x ");
  EXPECT_EQ(trim_white_space(" \n "), "");
  std::size_t pos = 0;
  const std::string_view text = "a\xE2\x80\xA8" "b\xC3\xA9  c";
  std::vector<std::string_view> fields;
  for (auto f = next_field(text, pos); !f.empty(); f = next_field(text, pos)) fields.push_back(f);
  EXPECT_EQ(fields, (std::vector<std::string_view>{"a", "b\xC3\xA9", "c"}));
  for (char32_t c : {U'\u200B', U'\u00E9', U'\uFEFF'}) EXPECT_FALSE(is_white_space(c));
}

}  // namespace
}  // namespace tarnvale::metrics
