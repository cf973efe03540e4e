// The compact writer's exact bytes: string escapes, number forms, key order.
#include "json/writer.hpp"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace tarnvale::json {
namespace {

std::string double_text(double d) {
  std::string out;
  write_double(out, d);
  return out;
}

TEST(WriteDoubleTest, EveryFormOfTheTable) {
  struct Case {
    double in;
    const char* want;
  } cases[] = {
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {100.0, "100.0"},
      {12.5, "12.5"},
      {0.07, "0.07"},
      {0.1 + 0.2, "0.30000000000000004"},
      {0.00001, "0.00001"},
      {0.000001, "1e-6"},
      {0.00000015, "1.5e-7"},
      {1e15, "1000000000000000.0"},
      {1e16, "1e+16"},
      {1.5e16, "1.5e+16"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {std::numeric_limits<double>::denorm_min(), "5e-324"},
      {-37.25, "-37.25"},
      {123456.789, "123456.789"},
      {9999999999999998.0, "9999999999999998.0"},
      {0.52, "0.52"},
      {std::nan(""), "null"},
      {std::numeric_limits<double>::infinity(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    EXPECT_EQ(double_text(c.in), c.want);
  }
}

TEST(WriteStringTest, EscapesOnlyQuotesBackslashesAndControls) {
  struct Case {
    std::string in;
    const char* want;
  } cases[] = {
      {"plain", R"("plain")"},
      {"a\"b\\c", R"("a\"b\\c")"},
      {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
      {std::string("\x00\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
      {"/\x7f", "\"/\x7f\""},
      {"\xc3\xbc\xe2\x80\xa8", "\"\xc3\xbc\xe2\x80\xa8\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    std::string out;
    write_string(out, c.in);
    EXPECT_EQ(out, c.want);
  }
}

TEST(WriteTest, ObjectsInByteOrderCompactAndExactIntegers) {
  Object load;
  load.emplace("5m", 0.25);
  load.emplace("1m", 0.5);
  load.emplace("15m", 0.75);
  Object root;
  root.emplace("load", std::move(load));
  root.emplace("max", std::numeric_limits<std::uint64_t>::max());
  root.emplace("neg", std::int64_t{-5});
  root.emplace("list", Array{Value(nullptr), Value(true), Value(false), Value("x")});
  root.emplace("Z", Object{});
  EXPECT_EQ(to_string(root),
            R"({"Z":{},"list":[null,true,false,"x"],"load":{"15m":0.75,"1m":0.5,"5m":0.25},)"
            R"("max":18446744073709551615,"neg":-5})");
}

TEST(WriteTest, KeysCompareAsUnsignedBytes) {
  Object o;
  o.emplace("\xc3\xa9", 1.0);  // é sorts after every ASCII key
  o.emplace("z", 2.0);
  o.emplace("A", 3.0);
  EXPECT_EQ(to_string(o), "{\"A\":3.0,\"z\":2.0,\"\xc3\xa9\":1.0}");
}

}  // namespace
}  // namespace tarnvale::json
