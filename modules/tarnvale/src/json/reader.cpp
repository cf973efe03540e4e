#include "json/reader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>
#include <utility>
#include <vector>

namespace tarnvale::json {

namespace {

constexpr std::string_view kEofList = "EOF while parsing a list";
constexpr std::string_view kEofObject = "EOF while parsing an object";
constexpr std::string_view kEofString = "EOF while parsing a string";
constexpr std::string_view kEofValue = "EOF while parsing a value";
constexpr std::string_view kExpectedColon = "expected `:`";
constexpr std::string_view kExpectedListCommaOrEnd = "expected `,` or `]`";
constexpr std::string_view kExpectedObjectCommaOrEnd = "expected `,` or `}`";
constexpr std::string_view kExpectedIdent = "expected ident";
constexpr std::string_view kExpectedValue = "expected value";
constexpr std::string_view kInvalidEscape = "invalid escape";
constexpr std::string_view kInvalidNumber = "invalid number";
constexpr std::string_view kNumberOutOfRange = "number out of range";
constexpr std::string_view kInvalidUnicode = "invalid unicode code point";
constexpr std::string_view kControlCharacter =
    "control character (\\u0000-\\u001F) found while parsing a string";
constexpr std::string_view kKeyMustBeString = "key must be a string";
constexpr std::string_view kLoneLeadingSurrogate = "lone leading surrogate in hex escape";
constexpr std::string_view kTrailingComma = "trailing comma";
constexpr std::string_view kTrailingCharacters = "trailing characters";
constexpr std::string_view kUnexpectedEndOfHexEscape = "unexpected end of hex escape";
constexpr std::string_view kRecursionLimit = "recursion limit exceeded";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_white_space(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Length of the well-formed UTF-8 sequence at the start of `s` (n > 0 bytes, s[0] >= 0x80),
// or 0 when it is ill-formed (overlong, surrogate, beyond U+10FFFF or truncated).
std::size_t utf8_sequence_length(const unsigned char* s, std::size_t n) {
  const unsigned char b = s[0];
  auto cont = [&](std::size_t k, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return k < n && s[k] >= lo && s[k] <= hi;
  };
  if (b >= 0xC2 && b <= 0xDF) return cont(1) ? 2 : 0;
  if (b == 0xE0) return cont(1, 0xA0) && cont(2) ? 3 : 0;
  if (b == 0xED) return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;
  if (b >= 0xE1 && b <= 0xEF) return cont(1) && cont(2) ? 3 : 0;
  if (b == 0xF0) return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
  if (b >= 0xF1 && b <= 0xF3) return cont(1) && cont(2) && cont(3) ? 4 : 0;
  if (b == 0xF4) return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
  return 0;
}

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    const char seq[2] = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(seq, 2);
  } else if (cp < 0x10000) {
    const char seq[3] = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                         static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(seq, 3);
  } else {
    const char seq[4] = {static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
                         static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(seq, 4);
  }
}

// Significant digits kept when converting a decimal to a double. A double's halfway points
// need at most 767 of them; the rest only matter as to whether any of them is non-zero.
constexpr std::size_t kMaxSignificantDigits = 780;

// A container under construction, with the key of the member whose value comes next.
struct Frame {
  Value container;
  std::string key;
};

class Reader {
 public:
  explicit Reader(std::string_view text) : s_(text.data()), n_(text.size()) {}

  Result<Value, ReadError> run();

 private:
  enum class Step { kValue, kKey, kDeliver };

  // Error at the byte just consumed (the byte count read so far).
  bool fail(std::string_view description) { return fail_at(description, i_); }
  // Error at the byte about to be looked at, which counts as stopped on.
  bool fail_peek(std::string_view description) { return fail_at(description, std::min(i_ + 1, n_)); }
  bool fail_at(std::string_view description, std::size_t at) {
    error_ = description;
    error_at_ = at;
    return false;
  }
  ReadError error() const;

  void skip_white_space() {
    while (i_ < n_ && is_white_space(s_[i_])) ++i_;
  }
  bool at_end() const { return i_ == n_; }

  bool read_scalar(Value& out);
  bool read_ident(std::string_view rest);
  bool read_string(std::string& out);
  bool read_escape(std::string& out);
  bool read_hex4(std::uint32_t& out);
  bool read_number(bool negative, Value& out);
  bool to_double(bool negative, std::size_t int_begin, std::size_t int_end, std::size_t frac_begin,
                 std::size_t frac_end, std::int64_t exponent, double& out);

  const char* s_;
  std::size_t n_;
  std::size_t i_ = 0;
  std::string_view error_;
  std::size_t error_at_ = 0;
};

ReadError Reader::error() const {
  const std::string_view text(s_, n_);
  const std::size_t newline = error_at_ == 0 ? std::string_view::npos : text.rfind('\n', error_at_ - 1);
  const std::size_t line_start = newline == std::string_view::npos ? 0 : newline + 1;
  const auto lines = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(line_start), '\n');
  return ReadError{error_, static_cast<std::size_t>(lines) + 1, error_at_ - line_start};
}

Result<Value, ReadError> Reader::run() {
  std::vector<Frame> stack;
  stack.reserve(16);
  Value value;
  Step step = Step::kValue;
  for (;;) {
    switch (step) {
      case Step::kValue: {
        skip_white_space();
        if (at_end()) {
          fail_peek(kEofValue);
          return unexpected(error());
        }
        const char c = s_[i_];
        if (c != '[' && c != '{') {
          if (!read_scalar(value)) return unexpected(error());
          step = Step::kDeliver;
          break;
        }
        if (stack.size() == kMaxDepth) {
          fail_peek(kRecursionLimit);
          return unexpected(error());
        }
        ++i_;
        skip_white_space();
        if (c == '[') {
          stack.push_back(Frame{Value(Array()), {}});
          if (at_end()) {
            fail_peek(kEofList);
            return unexpected(error());
          }
          if (s_[i_] == ']') {
            ++i_;
            value = std::move(stack.back().container);
            stack.pop_back();
            step = Step::kDeliver;
          }
          break;  // otherwise the first element follows
        }
        stack.push_back(Frame{Value(Object()), {}});
        if (at_end()) {
          fail_peek(kEofObject);
          return unexpected(error());
        }
        if (s_[i_] == '}') {
          ++i_;
          value = std::move(stack.back().container);
          stack.pop_back();
          step = Step::kDeliver;
        } else if (s_[i_] == '"') {
          step = Step::kKey;
        } else {
          fail_peek(kKeyMustBeString);
          return unexpected(error());
        }
        break;
      }

      case Step::kKey: {
        ++i_;  // the opening quote
        Frame& top = stack.back();
        top.key.clear();
        if (!read_string(top.key)) return unexpected(error());
        skip_white_space();
        if (at_end()) {
          fail_peek(kEofObject);
          return unexpected(error());
        }
        if (s_[i_] != ':') {
          fail_peek(kExpectedColon);
          return unexpected(error());
        }
        ++i_;
        step = Step::kValue;
        break;
      }

      case Step::kDeliver: {
        if (stack.empty()) {
          skip_white_space();
          if (!at_end()) {
            fail_peek(kTrailingCharacters);
            return unexpected(error());
          }
          return value;
        }
        Frame& top = stack.back();
        const bool is_array = top.container.is_array();
        if (is_array) {
          top.container.as_array().push_back(std::move(value));
        } else {
          Object& object = top.container.as_object();
          object.insert_or_assign(object.end(), std::move(top.key), std::move(value));
        }
        skip_white_space();
        if (at_end()) {
          fail_peek(is_array ? kEofList : kEofObject);
          return unexpected(error());
        }
        const char c = s_[i_];
        if (c == (is_array ? ']' : '}')) {
          ++i_;
          value = std::move(top.container);
          stack.pop_back();
          break;  // deliver the finished container to its parent
        }
        if (c != ',') {
          fail_peek(is_array ? kExpectedListCommaOrEnd : kExpectedObjectCommaOrEnd);
          return unexpected(error());
        }
        ++i_;
        skip_white_space();
        if (at_end()) {
          fail_peek(kEofValue);
          return unexpected(error());
        }
        const char next = s_[i_];
        if (next == (is_array ? ']' : '}')) {
          fail_peek(kTrailingComma);
          return unexpected(error());
        }
        if (is_array) {
          step = Step::kValue;
        } else if (next == '"') {
          step = Step::kKey;
        } else {
          fail_peek(kKeyMustBeString);
          return unexpected(error());
        }
        break;
      }
    }
  }
}

bool Reader::read_scalar(Value& out) {
  switch (s_[i_]) {
    case 'n':
      if (!read_ident("ull")) return false;
      out = nullptr;
      return true;
    case 't':
      if (!read_ident("rue")) return false;
      out = true;
      return true;
    case 'f':
      if (!read_ident("alse")) return false;
      out = false;
      return true;
    case '"': {
      ++i_;
      std::string text;
      if (!read_string(text)) return false;
      out = std::move(text);
      return true;
    }
    case '-':
      ++i_;
      return read_number(true, out);
    default:
      if (is_digit(s_[i_])) return read_number(false, out);
      return fail_peek(kExpectedValue);
  }
}

bool Reader::read_ident(std::string_view rest) {
  ++i_;
  for (const char expected : rest) {
    if (at_end()) return fail(kEofValue);
    if (s_[i_++] != expected) return fail(kExpectedIdent);
  }
  return true;
}

bool Reader::read_string(std::string& out) {
  std::size_t run = i_;  // start of the bytes not yet copied to out
  bool ill_formed = false;
  const auto* bytes = reinterpret_cast<const unsigned char*>(s_);
  for (;;) {
    while (i_ < n_) {
      const unsigned char b = bytes[i_];
      if (b == '"' || b == '\\' || b < 0x20) break;
      if (b < 0x80) {
        ++i_;
        continue;
      }
      const std::size_t len = utf8_sequence_length(bytes + i_, n_ - i_);
      if (len == 0) {
        ill_formed = true;
        ++i_;
      } else {
        i_ += len;
      }
    }
    if (at_end()) return fail(kEofString);
    const char c = s_[i_];
    if (c == '"') {
      out.append(s_ + run, i_ - run);
      ++i_;
      // Ill-formed UTF-8 is reported once the string is complete, as the whole string.
      return ill_formed ? fail(kInvalidUnicode) : true;
    }
    if (c != '\\') {
      ++i_;
      return fail(kControlCharacter);
    }
    out.append(s_ + run, i_ - run);
    ++i_;
    if (!read_escape(out)) return false;
    run = i_;
  }
}

bool Reader::read_escape(std::string& out) {
  if (at_end()) return fail(kEofString);
  switch (s_[i_++]) {
    case '"': out.push_back('"'); return true;
    case '\\': out.push_back('\\'); return true;
    case '/': out.push_back('/'); return true;
    case 'b': out.push_back('\b'); return true;
    case 'f': out.push_back('\f'); return true;
    case 'n': out.push_back('\n'); return true;
    case 'r': out.push_back('\r'); return true;
    case 't': out.push_back('\t'); return true;
    case 'u': break;
    default: return fail(kInvalidEscape);
  }
  std::uint32_t first = 0;
  if (!read_hex4(first)) return false;
  if (first >= 0xDC00 && first <= 0xDFFF) return fail(kLoneLeadingSurrogate);
  if (first < 0xD800 || first > 0xDBFF) {
    append_utf8(out, first);
    return true;
  }
  // A leading surrogate must be followed at once by the escape of a trailing one.
  for (const char expected : {'\\', 'u'}) {
    if (at_end()) return fail(kEofString);
    if (s_[i_++] != expected) return fail(kUnexpectedEndOfHexEscape);
  }
  std::uint32_t second = 0;
  if (!read_hex4(second)) return false;
  if (second < 0xDC00 || second > 0xDFFF) return fail(kLoneLeadingSurrogate);
  append_utf8(out, 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
  return true;
}

bool Reader::read_hex4(std::uint32_t& out) {
  if (n_ - i_ < 4) {
    i_ = n_;
    return fail(kEofString);
  }
  std::uint32_t value = 0;
  bool valid = true;
  for (int k = 0; k < 4; ++k) {
    const int digit = hex_value(s_[i_ + static_cast<std::size_t>(k)]);
    valid = valid && digit >= 0;
    value = (value << 4) | static_cast<std::uint32_t>(digit & 0xF);
  }
  i_ += 4;
  if (!valid) return fail(kInvalidEscape);
  out = value;
  return true;
}

bool Reader::read_number(bool negative, Value& out) {
  if (at_end()) return fail(kEofValue);
  const std::size_t int_begin = i_;
  const char lead = s_[i_++];
  if (lead == '0') {
    if (!at_end() && is_digit(s_[i_])) return fail_peek(kInvalidNumber);
  } else if (lead >= '1' && lead <= '9') {
    while (!at_end() && is_digit(s_[i_])) ++i_;
  } else {
    return fail(kInvalidNumber);
  }
  const std::size_t int_end = i_;
  std::size_t frac_begin = i_;
  std::size_t frac_end = i_;
  bool integer = true;
  if (!at_end() && s_[i_] == '.') {
    integer = false;
    ++i_;
    frac_begin = i_;
    while (!at_end() && is_digit(s_[i_])) ++i_;
    frac_end = i_;
    if (frac_begin == frac_end) return fail_peek(at_end() ? kEofValue : kInvalidNumber);
  }
  std::int64_t exponent = 0;
  if (!at_end() && (s_[i_] == 'e' || s_[i_] == 'E')) {
    integer = false;
    ++i_;
    bool exponent_negative = false;
    if (!at_end() && (s_[i_] == '+' || s_[i_] == '-')) exponent_negative = s_[i_++] == '-';
    if (at_end()) return fail(kEofValue);
    if (!is_digit(s_[i_])) {
      ++i_;
      return fail(kInvalidNumber);
    }
    const bool all_zero = std::all_of(s_ + int_begin, s_ + frac_end, [](char c) { return c == '0' || c == '.'; });
    constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
    bool overflow = false;
    while (!at_end() && is_digit(s_[i_])) {
      const int digit = s_[i_++] - '0';
      if (overflow) continue;
      if (exponent * 10 + digit > kLimit) {
        // Beyond any exponent a double can take: infinity is refused, the rest is zero.
        if (!all_zero && !exponent_negative) return fail(kNumberOutOfRange);
        overflow = true;
        continue;
      }
      exponent = exponent * 10 + digit;
    }
    if (overflow) {
      out = negative ? -0.0 : 0.0;
      return true;
    }
    if (exponent_negative) exponent = -exponent;
  }

  if (integer) {
    std::uint64_t magnitude = 0;
    const auto res = std::from_chars(s_ + int_begin, s_ + int_end, magnitude);
    if (res.ec == std::errc()) {
      constexpr std::uint64_t kMinInt64Magnitude = std::uint64_t{1} << 63;
      if (!negative) {
        out = magnitude;
        return true;
      }
      if (magnitude == 0) {
        out = -0.0;
        return true;
      }
      if (magnitude <= kMinInt64Magnitude) {
        out = static_cast<std::int64_t>(~magnitude + 1);
        return true;
      }
    }
  }
  double value = 0;
  if (!to_double(negative, int_begin, int_end, frac_begin, frac_end, exponent, value)) return false;
  out = value;
  return true;
}

bool Reader::to_double(bool negative, std::size_t int_begin, std::size_t int_end, std::size_t frac_begin,
                       std::size_t frac_end, std::int64_t exponent, double& out) {
  // Rewrite the number as d.ddd…e±E with its significant digits only, so that the
  // conversion sees a short text whatever the input's length.
  char buf[kMaxSignificantDigits + 40];
  std::size_t len = 0;
  if (negative) buf[len++] = '-';
  std::int64_t scientific = 0;  // the decimal exponent of the first significant digit
  bool started = false;
  bool truncated_nonzero = false;
  std::size_t digits = 0;
  auto take = [&](std::size_t from, std::size_t to, std::int64_t exponent_of_first) {
    for (std::size_t k = from; k < to; ++k) {
      const char c = s_[k];
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
  take(int_begin, int_end, static_cast<std::int64_t>(int_end - int_begin) - 1);
  take(frac_begin, frac_end, -1);
  if (!started) {
    out = negative ? -0.0 : 0.0;
    return true;
  }
  // A digit beyond the kept ones rounds as any non-zero remainder does.
  if (truncated_nonzero) buf[len++] = '1';  // digits > 1 here, so the point is written
  scientific += exponent;
  if (scientific > 400) return fail(kNumberOutOfRange);
  if (scientific < -400) {
    out = negative ? -0.0 : 0.0;
    return true;
  }
  buf[len++] = 'e';
  const auto exp_res = std::to_chars(buf + len, buf + sizeof buf, scientific);
  len = static_cast<std::size_t>(exp_res.ptr - buf);
  double value = 0;
  const auto res = std::from_chars(buf, buf + len, value);
  if (res.ec == std::errc::result_out_of_range || (res.ec == std::errc() && std::isinf(value))) {
    if (scientific > 0) return fail(kNumberOutOfRange);
    value = negative ? -0.0 : 0.0;
  } else if (res.ec != std::errc()) {
    return fail(kInvalidNumber);  // not reached: the text was built valid
  }
  out = value;
  return true;
}

}  // namespace

std::string ReadError::message() const {
  std::string text(description);
  text += " at line ";
  text += std::to_string(line);
  text += " column ";
  text += std::to_string(column);
  return text;
}

Result<Value, ReadError> read(std::string_view text) { return Reader(text).run(); }

}  // namespace tarnvale::json
