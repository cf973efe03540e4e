// The compact JSON writer: no white space, object members in byte-wise key order,
// only the escapes JSON requires, doubles in their shortest round-trip form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "json/value.hpp"

namespace tarnvale::json {

// Appends the compact text of `value` to `out`.
void write(std::string& out, const Value& value);
// The compact text of `value`.
std::string to_string(const Value& value);

// Appends a JSON string literal: quotes, with `"`, `\` and control characters escaped;
// every other byte (including `/`, DEL and UTF-8 sequences) copied unchanged.
void write_string(std::string& out, std::string_view text);
// Appends a finite double as the shortest text that reads back to the same value, with
// ".0" on whole numbers and exponent form outside 1e-5 <= |x| < 1e16; non-finite gives null.
void write_double(std::string& out, double value);
void write_uint(std::string& out, std::uint64_t value);
void write_int(std::string& out, std::int64_t value);

// The shortest decimal digits of a finite, non-zero |value| and the decimal exponent of the
// first digit: value = d1.d2...dn x 10^exponent. Shared with other plain-notation renderings.
struct ShortestDigits {
  char digits[24];
  int count;
  int exponent;
};
ShortestDigits shortest_digits(double value);

}  // namespace tarnvale::json
