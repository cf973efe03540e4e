// The strict JSON reader: one whole text into a generic value, or the syntax error with
// the line and column at which reading stopped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "json/value.hpp"
#include "platform/result.hpp"

namespace tarnvale::json {

// Arrays and objects nest at most this deep; the next opening bracket or brace is refused.
inline constexpr std::size_t kMaxDepth = 127;

struct ReadError {
  // One of the fixed descriptions, such as "expected value" or "trailing comma".
  std::string_view description;
  // Lines count from 1 and end at a line feed; the column counts the bytes of the line up
  // to and including the byte at which reading stopped (0 before the line's first byte).
  std::size_t line = 0;
  std::size_t column = 0;

  // "<description> at line <line> column <column>".
  std::string message() const;

  friend bool operator==(const ReadError&, const ReadError&) = default;
};

// Reads `text` as exactly one JSON value, optionally surrounded by JSON white space.
// Objects keep the last of repeated keys; integers without fraction or exponent become
// uint64 (or int64 when negative) where they fit, every other number a double (-0 too);
// strings must be valid UTF-8. Time is linear in the text apart from ordering object keys;
// nothing recurses.
Result<Value, ReadError> read(std::string_view text);

}  // namespace tarnvale::json
