#include "json/string_span.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/utf8.hpp"

namespace tarnvale::json {

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Whether any of the 8 bytes at `p` ends a plain run: a quote, a backslash, a control
// character or a non-ASCII byte.
bool has_special_byte(const unsigned char* p) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kHighs = 0x8080808080808080;
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  auto has_zero = [](std::uint64_t x) { return (x - kOnes) & ~x & kHighs; };
  const std::uint64_t below_space = (v - kOnes * 0x20) & ~v & kHighs;
  return ((v & kHighs) | below_space | has_zero(v ^ (kOnes * '"')) | has_zero(v ^ (kOnes * '\\'))) != 0;
}

// The four hexadecimal digits at text[i], moving i past them.
Result<std::uint32_t, SyntaxError> read_hex4(std::string_view text, std::size_t& i) {
  if (text.size() - i < 4) {
    i = text.size();
    return unexpected(SyntaxError{syntax::kEofString, i});
  }
  std::uint32_t value = 0;
  bool valid = true;
  for (std::size_t k = 0; k < 4; ++k) {
    const int digit = hex_value(text[i + k]);
    valid = valid && digit >= 0;
    value = (value << 4) | static_cast<std::uint32_t>(digit & 0xF);
  }
  i += 4;
  if (!valid) return unexpected(SyntaxError{syntax::kInvalidEscape, i});
  return value;
}

// The code point of the escape whose backslash is text[i - 1], moving i past the escape.
Result<std::uint32_t, SyntaxError> read_escape(std::string_view text, std::size_t& i) {
  auto stop = [&](std::string_view description) { return unexpected(SyntaxError{description, i}); };
  if (i == text.size()) return stop(syntax::kEofString);
  switch (text[i++]) {
    case '"': return std::uint32_t{'"'};
    case '\\': return std::uint32_t{'\\'};
    case '/': return std::uint32_t{'/'};
    case 'b': return std::uint32_t{'\b'};
    case 'f': return std::uint32_t{'\f'};
    case 'n': return std::uint32_t{'\n'};
    case 'r': return std::uint32_t{'\r'};
    case 't': return std::uint32_t{'\t'};
    case 'u': break;
    default: return stop(syntax::kInvalidEscape);
  }
  const auto first = read_hex4(text, i);
  if (!first) return first;
  if (*first >= 0xDC00 && *first <= 0xDFFF) return stop(syntax::kLoneLeadingSurrogate);
  if (*first < 0xD800 || *first > 0xDBFF) return first;
  // A leading surrogate must be followed at once by the escape of a trailing one.
  for (const char expected : {'\\', 'u'}) {
    if (i == text.size()) return stop(syntax::kEofString);
    if (text[i++] != expected) return stop(syntax::kUnexpectedEndOfHexEscape);
  }
  const auto second = read_hex4(text, i);
  if (!second) return second;
  if (*second < 0xDC00 || *second > 0xDFFF) return stop(syntax::kLoneLeadingSurrogate);
  return 0x10000 + ((*first - 0xD800) << 10) + (*second - 0xDC00);
}

// The unescaped text of a string that was read, piece by piece: runs of raw bytes and the
// bytes of single escapes.
class Unescaped {
 public:
  explicit Unescaped(StringSpan s) : rest_(s.raw), escaped_(s.escaped) {}

  // The next piece, valid until the next call; empty at the end.
  std::string_view next() {
    if (rest_.empty()) return {};
    if (!escaped_ || rest_.front() != '\\') {
      const std::string_view run = escaped_ ? rest_.substr(0, rest_.find('\\')) : rest_;
      rest_.remove_prefix(run.size());
      return run;
    }
    std::size_t i = 1;
    const auto cp = read_escape(rest_, i);  // checked when the string was read
    rest_.remove_prefix(i);
    return {utf8_, platform::encode_utf8(*cp, utf8_)};
  }

 private:
  std::string_view rest_;
  bool escaped_;
  char utf8_[4];
};

}  // namespace

Result<StringSpan, SyntaxError> read_string(std::string_view text, std::size_t& pos) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  // A local position: one that the byte loads might alias would be stored on every byte.
  std::size_t i = pos;
  bool ill_formed = false;
  bool escaped = false;
  for (;;) {
    for (;;) {
      while (i + 8 <= n && !has_special_byte(bytes + i)) i += 8;  // plain ASCII, eight bytes at a time
      if (i == n) break;
      const unsigned char b = bytes[i];
      if (b == '"' || b == '\\' || b < 0x20) break;
      if (b < 0x80) {
        ++i;
        continue;
      }
      const std::size_t len = platform::utf8_sequence_length(text.substr(i));
      if (len == 0) {
        ill_formed = true;
        ++i;
      } else {
        i += len;
      }
    }
    if (i == n) return unexpected(SyntaxError{syntax::kEofString, i});
    const char c = text[i++];
    if (c == '"') {
      // Ill-formed UTF-8 is reported once the string is complete, as the whole string.
      if (ill_formed) return unexpected(SyntaxError{syntax::kInvalidUnicode, i});
      const StringSpan string{text.substr(pos, i - 1 - pos), escaped};
      pos = i;
      return string;
    }
    if (c != '\\') return unexpected(SyntaxError{syntax::kControlCharacter, i});
    escaped = true;
    if (auto escape = read_escape(text, i); !escape) return unexpected(escape.error());
  }
}

void append_unescaped(std::string& out, StringSpan s, std::size_t limit) {
  if (!s.escaped) {
    out.append(s.raw.substr(0, limit));
    return;
  }
  Unescaped pieces(s);
  for (std::string_view piece = pieces.next(); !piece.empty() && limit != 0; piece = pieces.next()) {
    piece = piece.substr(0, limit);
    out.append(piece);
    limit -= piece.size();
  }
}

std::string unescape(StringSpan s, std::size_t limit) {
  std::string out;
  append_unescaped(out, s, limit);
  return out;
}

int detail::compare_unescaped(StringSpan a, StringSpan b) {
  Unescaped pieces_a(a);
  Unescaped pieces_b(b);
  std::string_view piece_a;
  std::string_view piece_b;
  for (;;) {
    if (piece_a.empty()) piece_a = pieces_a.next();
    if (piece_b.empty()) piece_b = pieces_b.next();
    if (piece_a.empty() || piece_b.empty()) return piece_a.empty() ? (piece_b.empty() ? 0 : -1) : 1;
    const std::size_t k = std::min(piece_a.size(), piece_b.size());
    if (const int c = piece_a.substr(0, k).compare(piece_b.substr(0, k)); c != 0) return c;
    piece_a.remove_prefix(k);
    piece_b.remove_prefix(k);
  }
}

}  // namespace tarnvale::json
