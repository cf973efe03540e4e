// JSON syntax errors: the fixed descriptions, where in the text reading stopped, and that
// place as a line and column.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnvale::json {

namespace syntax {
inline constexpr std::string_view kEofList = "EOF while parsing a list";
inline constexpr std::string_view kEofObject = "EOF while parsing an object";
inline constexpr std::string_view kEofString = "EOF while parsing a string";
inline constexpr std::string_view kEofValue = "EOF while parsing a value";
inline constexpr std::string_view kExpectedColon = "expected `:`";
inline constexpr std::string_view kExpectedListCommaOrEnd = "expected `,` or `]`";
inline constexpr std::string_view kExpectedObjectCommaOrEnd = "expected `,` or `}`";
inline constexpr std::string_view kExpectedIdent = "expected ident";
inline constexpr std::string_view kExpectedValue = "expected value";
inline constexpr std::string_view kInvalidEscape = "invalid escape";
inline constexpr std::string_view kInvalidNumber = "invalid number";
inline constexpr std::string_view kNumberOutOfRange = "number out of range";
inline constexpr std::string_view kInvalidUnicode = "invalid unicode code point";
inline constexpr std::string_view kControlCharacter =
    "control character (\\u0000-\\u001F) found while parsing a string";
inline constexpr std::string_view kKeyMustBeString = "key must be a string";
inline constexpr std::string_view kLoneLeadingSurrogate = "lone leading surrogate in hex escape";
inline constexpr std::string_view kTrailingComma = "trailing comma";
inline constexpr std::string_view kTrailingCharacters = "trailing characters";
inline constexpr std::string_view kUnexpectedEndOfHexEscape = "unexpected end of hex escape";
inline constexpr std::string_view kRecursionLimit = "recursion limit exceeded";
}  // namespace syntax

// Why reading stopped, and after how many bytes of the text: the byte at which it stopped
// is text[stop - 1] (none when stop is 0).
struct SyntaxError {
  std::string_view description;
  std::size_t stop = 0;
};

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

// The line and column in `text` at which `error` stopped reading.
ReadError locate(std::string_view text, const SyntaxError& error);

}  // namespace tarnvale::json
