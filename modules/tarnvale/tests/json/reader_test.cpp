#include "json/reader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace tarnvale::json {
namespace {

std::string error_of(std::string_view text) {
  auto result = read(text);
  if (result) return "(no error)";
  return result.error().message();
}

TEST(JsonReaderTest, MalformedTextReportsDescriptionLineAndColumn) {
  const std::string deep_open(200, '[');
  struct Case {
    std::string text;
    std::string want;
  } cases[] = {
      {"", "EOF while parsing a value at line 1 column 0"},
      {"hello", "expected value at line 1 column 1"},
      {"{", "EOF while parsing an object at line 1 column 1"},
      {"{}x", "trailing characters at line 1 column 3"},
      {"\n", "EOF while parsing a value at line 2 column 0"},
      {"[\n1,\n]", "trailing comma at line 3 column 1"},
      {"[", "EOF while parsing a list at line 1 column 1"},
      {"[1", "EOF while parsing a list at line 1 column 2"},
      {"[1,", "EOF while parsing a value at line 1 column 3"},
      {"[,1]", "expected value at line 1 column 2"},
      {"[1,]", "trailing comma at line 1 column 4"},
      {"[1 2]", "expected `,` or `]` at line 1 column 4"},
      {R"({"a":1,})", "trailing comma at line 1 column 8"},
      {R"({"a":1 "b":2})", "expected `,` or `}` at line 1 column 8"},
      {R"({"a" 1})", "expected `:` at line 1 column 6"},
      {R"({"a")", "EOF while parsing an object at line 1 column 4"},
      {R"({"a":)", "EOF while parsing a value at line 1 column 5"},
      {R"({"a":1,)", "EOF while parsing a value at line 1 column 7"},
      {"{1:2}", "key must be a string at line 1 column 2"},
      {"{,}", "key must be a string at line 1 column 2"},
      {"tru", "EOF while parsing a value at line 1 column 3"},
      {"nulx", "expected ident at line 1 column 4"},
      {"[fals]", "expected ident at line 1 column 6"},
      {"\"abc", "EOF while parsing a string at line 1 column 4"},
      {"\"a\\", "EOF while parsing a string at line 1 column 3"},
      {"\"a\\x\"", "invalid escape at line 1 column 4"},
      {"\"\\u12G4\"", "invalid escape at line 1 column 7"},
      {"\"\\u12", "EOF while parsing a string at line 1 column 5"},
      {"\"\\uDC00\"", "lone leading surrogate in hex escape at line 1 column 7"},
      {"\"\\uD800\"", "unexpected end of hex escape at line 1 column 8"},
      {"\"\\uD800\\n\"", "unexpected end of hex escape at line 1 column 9"},
      {"\"\\uD800\\u0041\"", "lone leading surrogate in hex escape at line 1 column 13"},
      {"\"a\tb\"", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
      {"\"\xff\"", "invalid unicode code point at line 1 column 3"},
      {"\"\xed\xa0\x80\"", "invalid unicode code point at line 1 column 5"},
      {"01", "invalid number at line 1 column 2"},
      {"-", "EOF while parsing a value at line 1 column 1"},
      {"-x", "invalid number at line 1 column 2"},
      {"1.", "EOF while parsing a value at line 1 column 2"},
      {"1.e5", "invalid number at line 1 column 3"},
      {"1e", "EOF while parsing a value at line 1 column 2"},
      {"1e+x", "invalid number at line 1 column 4"},
      {"1e400", "number out of range at line 1 column 5"},
      {"-1.5e308 ", "(no error)"},
      {"[-1e309]", "number out of range at line 1 column 7"},
      {"1" + std::string(400, '0'), "number out of range at line 1 column 401"},
      {"1e99999999999", "number out of range at line 1 column 12"},
      {deep_open, "recursion limit exceeded at line 1 column 128"},
      {std::string(127, '[') + "{", "recursion limit exceeded at line 1 column 128"},
      {"[1] [2]", "trailing characters at line 1 column 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(error_of(c.text), c.want);
  }
}

TEST(JsonReaderTest, ReadsEveryKindOfValue) {
  auto result = read(" {\"b\":[1,-2,3.5,true,false,null],\"a\":\"x\",\"c\":{}}\r\n\t");
  ASSERT_TRUE(result) << result.error().message();
  const Value want = Object{
      {"a", "x"},
      {"b", Array{std::uint64_t{1}, std::int64_t{-2}, 3.5, true, false, nullptr}},
      {"c", Object{}},
  };
  EXPECT_EQ(*result, want);
}

TEST(JsonReaderTest, RepeatedKeyKeepsTheLastValue) {
  auto result = read(R"({"a":1,"b":2,"a":{"x":3}})");
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, (Value(Object{{"a", Object{{"x", std::uint64_t{3}}}}, {"b", std::uint64_t{2}}})));
}

TEST(JsonReaderTest, IntegersStayIntegersOnlyWhereTheyFit) {
  struct Case {
    std::string text;
    Value want;
  } cases[] = {
      {"0", std::uint64_t{0}},
      {"18446744073709551615", std::uint64_t{18446744073709551615u}},
      {"18446744073709551616", 18446744073709551616.0},
      {"-1", std::int64_t{-1}},
      {"-9223372036854775808", std::int64_t{INT64_MIN}},
      {"-9223372036854775809", -9223372036854775809.0},
      {"1.0", 1.0},
      {"1e2", 100.0},
      {"1E+2", 100.0},
      {"25e-2", 0.25},
      {"0.1", 0.1},
      {"1.7976931348623157e308", 1.7976931348623157e308},
      {"5e-324", 5e-324},
      {"1e-400", 0.0},
      {"0e99999999999", 0.0},
      {"1e-99999999999", 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto result = read(c.text);
    ASSERT_TRUE(result) << result.error().message();
    EXPECT_EQ(*result, c.want);
    EXPECT_EQ(result->storage().index(), c.want.storage().index());
  }
  for (const std::string text : {"-0", "-0.0", "-0e5", "-1e-400"}) {
    SCOPED_TRACE(text);
    auto result = read(text);
    ASSERT_TRUE(result && result->is_double());
    EXPECT_TRUE(result->as_double() == 0.0 && std::signbit(result->as_double()));
  }
}

TEST(JsonReaderTest, LongNumbersRoundCorrectly) {
  // 2^53 + 1 lies halfway between two doubles: the digits far beyond decide the rounding.
  const std::string halfway = "9007199254740993." + std::string(900, '0');
  const std::string many_digits = "0." + std::string(1200, '3') + "e1";
  for (const std::string& text : {halfway, halfway + "1", many_digits, "1" + std::string(300, '7') + "e-10"}) {
    SCOPED_TRACE(text.substr(0, 40));
    auto result = read(text);
    ASSERT_TRUE(result && result->is_double());
    EXPECT_EQ(result->as_double(), std::strtod(text.c_str(), nullptr));
  }
}

TEST(JsonReaderTest, StringsResolveEveryEscape) {
  auto result = read(R"("\"\\\/\b\f\n\r\t\u00e9\u20AC\ud83d\ude00\u0000x")");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->as_string(), std::string("\"\\/\b\f\n\r\t\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\0x", 19));
  auto raw = read("\"caf\xc3\xa9 \xf0\x9f\x98\x80\"");
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->as_string(), "caf\xc3\xa9 \xf0\x9f\x98\x80");
}

TEST(JsonReaderTest, NestingUpToTheLimitIsRead) {
  const std::string text = std::string(kMaxDepth, '[') + std::string(kMaxDepth, ']');
  auto result = read(text);
  ASSERT_TRUE(result) << result.error().message();
  const Value* v = &*result;
  std::size_t depth = 0;
  while (v->is_array() && !v->as_array().empty()) {
    v = &v->as_array().front();
    ++depth;
  }
  EXPECT_EQ(depth + 1, kMaxDepth);
}

}  // namespace
}  // namespace tarnvale::json
