// Strict decimal numbers as the kernel's text files write them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnvale::metrics {

// Digits only, fitting in 64 bits; anything else (empty, a sign, an overflow) is none.
std::optional<std::uint64_t> parse_decimal(std::string_view text);

// A decimal floating-point number, the whole text; none when it is not one.
std::optional<double> parse_float(std::string_view text);

}  // namespace tarnvale::metrics
