// JSON numbers: the grammar of one number in a text, and its value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "json/syntax_error.hpp"
#include "platform/result.hpp"

namespace tarnvale::json {

// Integers without fraction or exponent are uint64 (int64 when negative) where they fit;
// every other number is a double, -0 included.
using Number = std::variant<std::uint64_t, std::int64_t, double>;

// Reads the number that starts at text[pos] (a '-' or a digit) and moves pos past it.
// A magnitude beyond a double's range is "number out of range"; one below it reads as zero.
// The digits may be any number long: only as many as decide the double are converted.
Result<Number, SyntaxError> read_number(std::string_view text, std::size_t& pos);

}  // namespace tarnvale::json
