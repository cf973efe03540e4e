#include "json/number.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace tarnvale::json {

namespace {

// Significant digits kept when converting a decimal to a double. A double's halfway points
// need at most 767 of them; the rest only matter as to whether any of them is non-zero.
constexpr std::size_t kMaxSignificantDigits = 780;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Where the digits of one number lie in the text, and its decimal exponent.
struct Digits {
  bool negative;
  std::size_t int_begin, int_end, frac_begin, frac_end;
  std::int64_t exponent;
};

// The double nearest to the number, or "number out of range" (stopping at `end`).
Result<double, SyntaxError> to_double(std::string_view text, const Digits& d, std::size_t end) {
  const double zero = d.negative ? -0.0 : 0.0;
  // Rewrite the number as d.ddd…e±E with its significant digits only, so that the
  // conversion sees a short text whatever the input's length.
  char buf[kMaxSignificantDigits + 40];
  std::size_t len = 0;
  if (d.negative) buf[len++] = '-';
  std::int64_t scientific = 0;  // the decimal exponent of the first significant digit
  bool started = false;
  bool truncated_nonzero = false;
  std::size_t digits = 0;
  auto take = [&](std::size_t from, std::size_t to, std::int64_t exponent_of_first) {
    for (std::size_t k = from; k < to; ++k) {
      const char c = text[k];
      if (!started) {
        if (c == '0') continue;
        started = true;
        scientific = exponent_of_first - static_cast<std::int64_t>(k - from);
      }
      if (digits < kMaxSignificantDigits) {
        if (digits++ == 1) buf[len++] = '.';
        buf[len++] = c;
      } else if (c != '0') {
        truncated_nonzero = true;
        break;
      }
    }
  };
  take(d.int_begin, d.int_end, static_cast<std::int64_t>(d.int_end - d.int_begin) - 1);
  take(d.frac_begin, d.frac_end, -1);
  if (!started) return zero;
  // A digit beyond the kept ones rounds as any non-zero remainder does.
  if (truncated_nonzero) buf[len++] = '1';  // digits > 1 here, so the point is written
  scientific += d.exponent;
  if (scientific > 400) return unexpected(SyntaxError{syntax::kNumberOutOfRange, end});
  if (scientific < -400) return zero;
  buf[len++] = 'e';
  const auto exp_res = std::to_chars(buf + len, buf + sizeof buf, scientific);
  len = static_cast<std::size_t>(exp_res.ptr - buf);
  double value = 0;
  const auto res = std::from_chars(buf, buf + len, value);
  if (res.ec == std::errc::result_out_of_range || (res.ec == std::errc() && std::isinf(value))) {
    if (scientific > 0) return unexpected(SyntaxError{syntax::kNumberOutOfRange, end});
    return zero;
  }
  if (res.ec != std::errc()) return unexpected(SyntaxError{syntax::kInvalidNumber, end});  // not reached
  return value;
}

// read_number on a local position, which the byte loads cannot alias.
Result<Number, SyntaxError> scan_number(std::string_view text, std::size_t& i) {
  const std::size_t n = text.size();
  // Stopped at the byte just read, or at the one about to be looked at.
  auto stop = [&](std::string_view description) { return unexpected(SyntaxError{description, i}); };
  auto stop_next = [&](std::string_view description) {
    return unexpected(SyntaxError{description, std::min(i + 1, n)});
  };
  auto at_end = [&] { return i == n; };

  Digits d{};
  d.negative = text[i] == '-';
  if (d.negative) ++i;
  if (at_end()) return stop(syntax::kEofValue);
  d.int_begin = i;
  const char lead = text[i++];
  if (lead == '0') {
    if (!at_end() && is_digit(text[i])) return stop_next(syntax::kInvalidNumber);
  } else if (lead >= '1' && lead <= '9') {
    while (!at_end() && is_digit(text[i])) ++i;
  } else {
    return stop(syntax::kInvalidNumber);
  }
  d.int_end = d.frac_begin = d.frac_end = i;
  bool integer = true;
  if (!at_end() && text[i] == '.') {
    integer = false;
    d.frac_begin = ++i;
    while (!at_end() && is_digit(text[i])) ++i;
    d.frac_end = i;
    if (d.frac_begin == d.frac_end) return stop_next(at_end() ? syntax::kEofValue : syntax::kInvalidNumber);
  }
  if (!at_end() && (text[i] == 'e' || text[i] == 'E')) {
    integer = false;
    ++i;
    bool exponent_negative = false;
    if (!at_end() && (text[i] == '+' || text[i] == '-')) exponent_negative = text[i++] == '-';
    if (at_end()) return stop(syntax::kEofValue);
    if (!is_digit(text[i])) {
      ++i;
      return stop(syntax::kInvalidNumber);
    }
    const bool all_zero = std::all_of(text.begin() + static_cast<std::ptrdiff_t>(d.int_begin),
                                      text.begin() + static_cast<std::ptrdiff_t>(d.frac_end),
                                      [](char c) { return c == '0' || c == '.'; });
    constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
    bool overflow = false;
    while (!at_end() && is_digit(text[i])) {
      const int digit = text[i++] - '0';
      if (overflow) continue;
      if (d.exponent * 10 + digit > kLimit) {
        // Beyond any exponent a double can take: infinity is refused, the rest is zero.
        if (!all_zero && !exponent_negative) return stop(syntax::kNumberOutOfRange);
        overflow = true;
        continue;
      }
      d.exponent = d.exponent * 10 + digit;
    }
    if (overflow) return d.negative ? -0.0 : 0.0;
    if (exponent_negative) d.exponent = -d.exponent;
  }

  if (integer) {
    std::uint64_t magnitude = 0;
    const auto res = std::from_chars(text.data() + d.int_begin, text.data() + d.int_end, magnitude);
    if (res.ec == std::errc()) {
      constexpr std::uint64_t kMinInt64Magnitude = std::uint64_t{1} << 63;
      if (!d.negative) return magnitude;
      if (magnitude == 0) return -0.0;
      if (magnitude <= kMinInt64Magnitude) return static_cast<std::int64_t>(~magnitude + 1);
    }
  }
  auto value = to_double(text, d, i);
  if (!value) return unexpected(value.error());
  return *value;
}

}  // namespace

Result<Number, SyntaxError> read_number(std::string_view text, std::size_t& pos) {
  std::size_t i = pos;
  auto number = scan_number(text, i);
  pos = i;
  return number;
}

}  // namespace tarnvale::json
