// UTF-8: the forms that must be refused (overlong, surrogates, beyond U+10FFFF, stray
// continuation bytes) with the index and length of the fault, texts split at every byte,
// and lossy decoding with one replacement per maximal subpart.
#include "platform/utf8.hpp"

#include <string>

#include <gtest/gtest.h>

namespace tarnvale::platform {
namespace {

// "" for a valid text; "bad <index> <length>" or "unfinished <index>" otherwise.
std::string check(std::string_view text) {
  Utf8Validator v;
  if (auto fed = v.feed(text); !fed) {
    return "bad " + std::to_string(fed.error().index) + " " + std::to_string(fed.error().length);
  }
  if (auto ended = v.finish(); !ended) return "unfinished " + std::to_string(ended.error());
  return "";
}

TEST(Utf8ValidatorTest, RefusesEveryIllFormedSequenceWithItsIndexAndLength) {
  struct Case {
    std::string text;
    std::string fault;
  } cases[] = {
      {"plain ascii, longer than one word", ""},
      {"\xC2\x80 \xDF\xBF \xE0\xA0\x80 \xED\x9F\xBF \xEE\x80\x80 \xF0\x90\x80\x80 \xF4\x8F\xBF\xBF", ""},
      {"ab\x80", "bad 2 1"},              // stray continuation
      {"\xC0\x80", "bad 0 1"},            // overlong 2-byte
      {"\xC1\xBF", "bad 0 1"},
      {"\xE0\x9F\xBF", "bad 0 1"},        // overlong 3-byte
      {"\xED\xA0\x80", "bad 0 1"},        // surrogate
      {"\xF0\x8F\xBF\xBF", "bad 0 1"},    // overlong 4-byte
      {"\xF4\x90\x80\x80", "bad 0 1"},    // above U+10FFFF
      {"\xF5\x80\x80\x80", "bad 0 1"},
      {"\xFF", "bad 0 1"},
      {"x\xE2\x82(", "bad 1 2"},
      {"12345678\xF0\x9F\x98 ", "bad 8 3"},
      {"x\xF0\x9F\x98", "unfinished 1"},
      {"\xC3", "unfinished 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(check(c.text), c.fault);
    EXPECT_EQ(is_valid_utf8(c.text), c.fault.empty());
  }
}

TEST(Utf8ValidatorTest, TextSplitAtAnyByteValidatesAsAWhole) {
  const std::string text = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 end of a long enough text";
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    SCOPED_TRACE(cut);
    Utf8Validator v;
    EXPECT_TRUE(v.feed(std::string_view(text).substr(0, cut)));
    EXPECT_TRUE(v.feed(std::string_view(text).substr(cut)));
    EXPECT_TRUE(v.finish());
  }
  // The index of a fault counts from the start of the whole text.
  Utf8Validator v;
  ASSERT_TRUE(v.feed("0123456789"));
  EXPECT_EQ(v.feed("ab\xFF").error().index, 12u);
}

std::u32string decode_all(std::string_view text) {
  std::u32string out;
  std::size_t pos = 0;
  while (pos < text.size()) out.push_back(decode_utf8(text, pos));
  return out;
}

TEST(DecodeUtf8Test, IllFormedSequencesBecomeOneReplacementPerMaximalSubpart) {
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

}  // namespace
}  // namespace tarnvale::platform
