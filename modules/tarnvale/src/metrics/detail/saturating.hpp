// Unsigned arithmetic held at the ends of the range instead of wrapping.
#pragma once

#include <cstdint>
#include <limits>

namespace tarnvale::metrics {

constexpr std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
  return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max() : a + b;
}
constexpr std::uint64_t saturating_sub(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : 0; }
constexpr std::uint64_t saturating_mul(std::uint64_t a, std::uint64_t b) {
  return a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a ? std::numeric_limits<std::uint64_t>::max()
                                                                      : a * b;
}

}  // namespace tarnvale::metrics
