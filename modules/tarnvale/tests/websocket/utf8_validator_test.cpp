// UTF-8 validation: the forms that must be refused (overlong, surrogates, beyond U+10FFFF,
// stray continuation bytes), the length and index the error reports, and texts split at
// every byte.
#include "websocket/core/utf8_validator.hpp"

#include <string>

#include <gtest/gtest.h>

namespace tarnvale::websocket {
namespace {

std::string check(std::string_view text) {
  Utf8Validator v;
  auto r = v.feed(text);
  if (r) r = v.finish();
  return r ? "" : r.error().detail();
}

TEST(Utf8ValidatorTest, RefusesEveryIllFormedSequenceWithItsLengthAndIndex) {
  struct Case {
    std::string text;
    std::string error;
  } cases[] = {
      {"plain ascii, longer than one word", ""},
      {"\xC2\x80 \xDF\xBF \xE0\xA0\x80 \xED\x9F\xBF \xEE\x80\x80 \xF0\x90\x80\x80 \xF4\x8F\xBF\xBF", ""},
      {"ab\x80", "invalid utf-8 sequence of 1 bytes from index 2"},            // stray continuation
      {"\xC0\x80", "invalid utf-8 sequence of 1 bytes from index 0"},          // overlong 2-byte
      {"\xC1\xBF", "invalid utf-8 sequence of 1 bytes from index 0"},
      {"\xE0\x9F\xBF", "invalid utf-8 sequence of 1 bytes from index 0"},      // overlong 3-byte
      {"\xED\xA0\x80", "invalid utf-8 sequence of 1 bytes from index 0"},      // surrogate
      {"\xF0\x8F\xBF\xBF", "invalid utf-8 sequence of 1 bytes from index 0"},  // overlong 4-byte
      {"\xF4\x90\x80\x80", "invalid utf-8 sequence of 1 bytes from index 0"},  // above U+10FFFF
      {"\xF5\x80\x80\x80", "invalid utf-8 sequence of 1 bytes from index 0"},
      {"\xFF", "invalid utf-8 sequence of 1 bytes from index 0"},
      {"x\xE2\x82(", "invalid utf-8 sequence of 2 bytes from index 1"},
      {"12345678\xF0\x9F\x98 ", "invalid utf-8 sequence of 3 bytes from index 8"},
      {"x\xF0\x9F\x98", "incomplete utf-8 byte sequence from index 1"},
      {"\xC3", "incomplete utf-8 byte sequence from index 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(check(c.text), c.error);
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
  // The index of an error counts from the start of the whole text.
  Utf8Validator v;
  ASSERT_TRUE(v.feed("0123456789"));
  EXPECT_EQ(v.feed("ab\xFF").error().detail(), "invalid utf-8 sequence of 1 bytes from index 12");
}

}  // namespace
}  // namespace tarnvale::websocket
