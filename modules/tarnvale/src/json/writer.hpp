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
// Appends a finite double in plain decimal notation with the same shortest digits, never
// with an exponent, with ".0" on whole numbers (1e16 gives 10000000000000000.0).
void write_plain_double(std::string& out, double value);
void write_uint(std::string& out, std::uint64_t value);
void write_int(std::string& out, std::int64_t value);

}  // namespace tarnvale::json
