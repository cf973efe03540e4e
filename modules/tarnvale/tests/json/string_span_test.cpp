#include "json/string_span.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tarnvale::json {
namespace {

// The string literal that starts after text[0], a quote.
Result<StringSpan, SyntaxError> read_literal(std::string_view text) {
  std::size_t pos = 1;
  return read_string(text, pos);
}

TEST(JsonStringSpanTest, EveryByteOfALongStringIsChecked) {
  // Plain bytes are taken eight at a time: put the byte that ends a run at every offset.
  for (std::size_t at = 0; at < 20; ++at) {
    SCOPED_TRACE(at);
    const std::string before = "\"" + std::string(at, 'a');
    const std::string after(20, 'b');

    auto control = read_literal(before + "\x1f" + after + "\"");
    ASSERT_FALSE(control);
    EXPECT_EQ(control.error().description, syntax::kControlCharacter);
    EXPECT_EQ(control.error().stop, at + 2);

    const std::string bad_utf8 = before + "\xff" + after + "\"";
    auto invalid = read_literal(bad_utf8);
    ASSERT_FALSE(invalid);
    EXPECT_EQ(invalid.error().description, syntax::kInvalidUnicode);
    EXPECT_EQ(invalid.error().stop, bad_utf8.size());

    const std::string ends_early = before + "\"" + after;
    std::size_t pos = 1;
    auto quoted = read_string(ends_early, pos);
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->raw, std::string(at, 'a'));
    EXPECT_FALSE(quoted->escaped);
    EXPECT_EQ(pos, at + 2);

    const std::string escaped = before + "\\n" + after + "\"";
    auto escape = read_literal(escaped);
    ASSERT_TRUE(escape);
    EXPECT_TRUE(escape->escaped);
    EXPECT_EQ(unescape(*escape), std::string(at, 'a') + "\n" + after);

    const std::string non_ascii = before + "\xc3\xa9" + after + "\"";
    auto two_bytes = read_literal(non_ascii);
    ASSERT_TRUE(two_bytes);
    EXPECT_FALSE(two_bytes->escaped);
  }
}

TEST(JsonStringSpanTest, ComparesAndCutsTheUnescapedText) {
  auto span = [](std::string_view raw) { return StringSpan{raw, raw.find('\\') != std::string_view::npos}; };
  struct Case {
    std::string_view a, b;
    int order;
  } cases[] = {
      {"body", "body", 0},
      {"b\\u006fdy", "body", 0},
      {"b\\u006fdy", "b\\u006fdy", 0},
      {"bod", "b\\u006fdy", -1},
      {"b\\u006fdz", "body", 1},
      {"a\\u0000", "a", 1},
      {"a\\u0000", "a\\u0001", -1},
      {"\\u00e9", "z", 1},  // bytes compare unsigned: 0xC3 sorts after 'z'
      {"\\ud83d\\ude00", "\\uffff", 1},
      {"\\\"", "\\\\", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + std::string(c.b));
    const int order = compare(span(c.a), span(c.b));
    EXPECT_EQ((order > 0) - (order < 0), c.order);
    const int reverse = compare(span(c.b), span(c.a));
    EXPECT_EQ((reverse > 0) - (reverse < 0), -c.order);
    EXPECT_EQ(equals(span(c.a), unescape(span(c.b))), c.order == 0);
  }
  EXPECT_EQ(unescape(span("ab\\u00e9cd"), 3), "ab\xc3");
  EXPECT_EQ(unescape(span("abcd"), 2), "ab");
  EXPECT_EQ(unescape(span("a\\nb"), 10), "a\nb");
}

}  // namespace
}  // namespace tarnvale::json
