// The strict JSON reader as a sequence of events: one pass over the whole text checks its
// syntax and tells a sink about each value as it is read, so that the sink keeps only what
// it needs. Strings reach the sink in place, numbers converted. Nothing recurses or
// allocates: beyond the sink's own state, reading needs a flag per level of nesting.
//
// A sink provides:
//   void begin_array();  void begin_object();  // a container opens
//   void key(StringSpan key);                  // the key of the object member whose value follows
//   void scalar(const Scalar& value);          // a value that holds no other value
//   void end();                                // the innermost open container closes
// When reading fails, the events so far describe a text that was not valid JSON.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "json/number.hpp"
#include "json/string_span.hpp"
#include "json/syntax_error.hpp"
#include "platform/result.hpp"

namespace tarnvale::json {

// Arrays and objects nest at most this deep; the next opening bracket or brace is refused.
inline constexpr std::size_t kMaxDepth = 127;

// A value that holds no other value; a string stays in the text that was read.
using Scalar = std::variant<std::nullptr_t, bool, std::uint64_t, std::int64_t, double, StringSpan>;

// Reads `text` as exactly one JSON value, optionally surrounded by JSON white space, and
// reports it to `sink`. Strings must be valid UTF-8.
template <class Sink>
Result<void, ReadError> read_events(std::string_view text, Sink& sink);

namespace detail {

inline bool is_white_space(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

template <class Sink>
class EventReader {
 public:
  EventReader(std::string_view text, Sink& sink) : text_(text), sink_(sink) {}

  Result<void, ReadError> run() {
    using namespace syntax;
    enum class Step { value, key, after_value };
    Step step = Step::value;
    for (;;) {
      switch (step) {
        case Step::value: {
          skip_white_space();
          if (at_end()) return fail_next(kEofValue);
          const char c = text_[i_];
          if (c != '[' && c != '{') {
            if (auto read = read_scalar(); !read) return read;
            step = Step::after_value;
            break;
          }
          if (depth_ == kMaxDepth) return fail_next(kRecursionLimit);
          ++i_;
          const bool is_array = c == '[';
          is_array_[depth_++] = is_array;
          if (is_array) {
            sink_.begin_array();
          } else {
            sink_.begin_object();
          }
          skip_white_space();
          if (at_end()) return fail_next(is_array ? kEofList : kEofObject);
          if (text_[i_] == (is_array ? ']' : '}')) {
            ++i_;
            close();
            step = Step::after_value;
          } else if (!is_array) {
            if (text_[i_] != '"') return fail_next(kKeyMustBeString);
            step = Step::key;
          }
          break;  // a non-empty array goes on with its first element
        }

        case Step::key: {
          ++i_;  // the opening quote
          auto key = read_string(text_, i_);
          if (!key) return fail(key.error());
          sink_.key(*key);
          skip_white_space();
          if (at_end()) return fail_next(kEofObject);
          if (text_[i_] != ':') return fail_next(kExpectedColon);
          ++i_;
          step = Step::value;
          break;
        }

        case Step::after_value: {
          skip_white_space();
          if (depth_ == 0) {
            if (!at_end()) return fail_next(kTrailingCharacters);
            return {};
          }
          const bool is_array = is_array_[depth_ - 1];
          if (at_end()) return fail_next(is_array ? kEofList : kEofObject);
          const char c = text_[i_];
          if (c == (is_array ? ']' : '}')) {
            ++i_;
            close();
            break;  // the container is a value of its parent
          }
          if (c != ',') return fail_next(is_array ? kExpectedListCommaOrEnd : kExpectedObjectCommaOrEnd);
          ++i_;
          skip_white_space();
          if (at_end()) return fail_next(kEofValue);
          const char next = text_[i_];
          if (next == (is_array ? ']' : '}')) return fail_next(kTrailingComma);
          if (is_array) {
            step = Step::value;
          } else if (next == '"') {
            step = Step::key;
          } else {
            return fail_next(kKeyMustBeString);
          }
          break;
        }
      }
    }
  }

 private:
  // Reading stopped as `error` says.
  unexpected<ReadError> fail(const SyntaxError& error) const { return unexpected(locate(text_, error)); }
  // Reading stopped at the byte about to be looked at.
  unexpected<ReadError> fail_next(std::string_view description) const {
    return fail(SyntaxError{description, i_ < text_.size() ? i_ + 1 : i_});
  }

  void skip_white_space() {
    std::size_t i = i_;
    while (i < text_.size() && is_white_space(text_[i])) ++i;
    i_ = i;
  }
  bool at_end() const { return i_ == text_.size(); }

  void close() {
    --depth_;
    sink_.end();
  }

  Result<void, ReadError> read_scalar() {
    switch (text_[i_]) {
      case 'n': return read_ident("null", nullptr);
      case 't': return read_ident("true", true);
      case 'f': return read_ident("false", false);
      case '"': {
        ++i_;
        auto string = read_string(text_, i_);
        if (!string) return fail(string.error());
        sink_.scalar(Scalar(*string));
        return {};
      }
      default: {
        const char c = text_[i_];
        if (c != '-' && (c < '0' || c > '9')) return fail_next(syntax::kExpectedValue);
        auto number = read_number(text_, i_);
        if (!number) return fail(number.error());
        std::visit([this](auto value) { sink_.scalar(Scalar(value)); }, *number);
        return {};
      }
    }
  }

  Result<void, ReadError> read_ident(std::string_view word, Scalar value) {
    ++i_;
    for (const char expected : word.substr(1)) {
      if (at_end()) return fail(SyntaxError{syntax::kEofValue, i_});
      if (text_[i_++] != expected) return fail(SyntaxError{syntax::kExpectedIdent, i_});
    }
    sink_.scalar(value);
    return {};
  }

  std::string_view text_;
  Sink& sink_;
  std::size_t i_ = 0;
  std::size_t depth_ = 0;
  // Per open container, innermost last: whether it is an array.
  std::array<bool, kMaxDepth> is_array_{};
};

}  // namespace detail

template <class Sink>
Result<void, ReadError> read_events(std::string_view text, Sink& sink) {
  return detail::EventReader<Sink>(text, sink).run();
}

}  // namespace tarnvale::json
