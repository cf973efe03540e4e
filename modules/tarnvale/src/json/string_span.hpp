// JSON strings read in place: a string's text between its quotes, checked but left as it
// stands in the input, with its unescaped text built or compared only when asked for.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "json/syntax_error.hpp"
#include "platform/result.hpp"

namespace tarnvale::json {

struct StringSpan {
  // The bytes between the quotes, escapes unresolved; a view into the text that was read.
  std::string_view raw;
  // Whether raw holds a backslash escape; without one, raw is the string's text.
  bool escaped = false;
};

// Reads the string whose opening quote is text[pos - 1] and moves pos past its closing
// quote. Escapes are checked, not resolved; the text must be valid UTF-8, which is judged
// once the string is complete.
Result<StringSpan, SyntaxError> read_string(std::string_view text, std::size_t& pos);

// Appends the unescaped text of `s`, or its first `limit` bytes when it is longer.
void append_unescaped(std::string& out, StringSpan s, std::size_t limit = std::string::npos);
std::string unescape(StringSpan s, std::size_t limit = std::string::npos);

namespace detail {
int compare_unescaped(StringSpan a, StringSpan b);
}  // namespace detail

// Byte-wise order of the unescaped texts (negative, zero or positive, like
// std::string::compare), found without building them.
inline int compare(StringSpan a, StringSpan b) {
  return a.escaped || b.escaped ? detail::compare_unescaped(a, b) : a.raw.compare(b.raw);
}
inline bool equals(StringSpan s, std::string_view text) {
  return s.escaped ? detail::compare_unescaped(s, StringSpan{text}) == 0 : s.raw == text;
}

}  // namespace tarnvale::json
