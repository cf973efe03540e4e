#include "json/number.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace tarnvale::json {
namespace {

TEST(JsonNumberTest, ConvertsToTheNearestValueOfTheRightKind) {
  const std::string zeros(500, '0');
  struct Case {
    std::string text;
    Number want;
    std::size_t end;
  } cases[] = {
      {"0,", std::uint64_t{0}, 1},
      {"18446744073709551615]", std::numeric_limits<std::uint64_t>::max(), 20},
      {"18446744073709551616", 18446744073709551616.0, 20},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min(), 20},
      {"-9223372036854775809", -9223372036854775809.0, 20},
      {"-0", -0.0, 2},
      {"-0.0e7", -0.0, 6},
      {"1.5e-7 ", 1.5e-7, 6},
      {"12.5E+1", 125.0, 7},
      // Rounding at the edges of the range: the largest double, and halfway to infinity.
      {"1.7976931348623158e308", std::numeric_limits<double>::max(), 22},
      // The smallest subnormal, and the halfway point below it, which rounds to even (zero).
      {"4.9406564584124654e-324", 5e-324, 23},
      {"2.4703282292062327e-324", 0.0, 23},
      {"2.4703282292062328e-324", 5e-324, 23},
      {"-1e-400", -0.0, 7},
      {"1e-99999999999", 0.0, 14},
      {"0e99999999999", 0.0, 13},
      // Long digit strings: the exponent of the first significant digit counts, and a
      // digit far beyond the kept ones still decides a halfway case.
      {"0." + zeros + "1e500", 0.1, 507},
      {"1" + zeros + "e-500", 1.0, 506},
      {"9007199254740993." + zeros + zeros, 9007199254740992.0, 1017},
      {"9007199254740993." + zeros + zeros + "1", 9007199254740994.0, 1018},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    std::size_t pos = 0;
    auto number = read_number(c.text, pos);
    ASSERT_TRUE(number) << number.error().description;
    EXPECT_EQ(number->index(), c.want.index());
    EXPECT_EQ(*number, c.want);
    if (const double* d = std::get_if<double>(&*number)) {
      EXPECT_EQ(std::signbit(*d), std::signbit(std::get<double>(c.want)));
    }
    EXPECT_EQ(pos, c.end);
  }
}

TEST(JsonNumberTest, RefusalStopsWhereTheReaderReportsIt) {
  struct Case {
    std::string text;
    std::string_view description;
    std::size_t stop;
  } cases[] = {
      {"-", syntax::kEofValue, 1},
      {"-x", syntax::kInvalidNumber, 2},
      {"01", syntax::kInvalidNumber, 2},
      {"1.", syntax::kEofValue, 2},
      {"1.x", syntax::kInvalidNumber, 3},
      {"1e", syntax::kEofValue, 2},
      {"1e+", syntax::kEofValue, 3},
      {"1ex", syntax::kInvalidNumber, 3},
      {"1.7976931348623159e308", syntax::kNumberOutOfRange, 22},
      {"-1" + std::string(309, '0'), syntax::kNumberOutOfRange, 311},
      {"1e99999999999", syntax::kNumberOutOfRange, 12},
      {"-1e99999999999", syntax::kNumberOutOfRange, 13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    std::size_t pos = 0;
    auto number = read_number(c.text, pos);
    ASSERT_FALSE(number);
    EXPECT_EQ(number.error().description, c.description);
    EXPECT_EQ(number.error().stop, c.stop);
  }
}

}  // namespace
}  // namespace tarnvale::json
