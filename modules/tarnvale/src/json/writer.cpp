#include "json/writer.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <variant>

namespace tarnvale::json {

namespace {

constexpr char kHex[] = "0123456789abcdef";

// Per byte: 0 copy unchanged, otherwise the character after the backslash ('u' for \u00XX).
constexpr auto kEscape = [] {
  struct Table {
    char c[256]{};
  } t;
  for (int i = 0; i < 0x20; ++i) t.c[i] = 'u';
  struct Named {
    unsigned char byte;
    char letter;
  };
  for (const Named n : {Named{'\b', 'b'}, Named{'\t', 't'}, Named{'\n', 'n'}, Named{'\f', 'f'}, Named{'\r', 'r'},
                        Named{'"', '"'}, Named{'\\', '\\'}}) {
    t.c[n.byte] = n.letter;
  }
  return t;
}();

}  // namespace

void write_string(std::string& out, std::string_view text) {
  out.push_back('"');
  std::size_t run = 0;  // start of the pending run of bytes copied unchanged
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const char esc = kEscape.c[byte];
    if (esc == 0) continue;
    out.append(text.data() + run, i - run);
    run = i + 1;
    if (esc == 'u') {
      const char seq[6] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
      out.append(seq, sizeof seq);
    } else {
      const char seq[2] = {'\\', esc};
      out.append(seq, sizeof seq);
    }
  }
  out.append(text.data() + run, text.size() - run);
  out.push_back('"');
}

void write_uint(std::string& out, std::uint64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

void write_int(std::string& out, std::int64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

namespace {

// The shortest round-trip digits of a finite, non-zero |value| and the decimal exponent of
// the first one: value = d1.d2...dn x 10^exponent.
struct ShortestDigits {
  char digits[24];
  int count;
  int exponent;
};

ShortestDigits shortest_digits(double value) {
  // The shortest scientific form, d[.ddd]e(+|-)XX, has no trailing zeros.
  char buf[40];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
  ShortestDigits sd{};
  const char* p = buf;
  for (; p < res.ptr && *p != 'e'; ++p) {
    if (*p != '.') sd.digits[sd.count++] = *p;
  }
  std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), res.ptr, sd.exponent);
  return sd;
}

void append_plain(std::string& out, const ShortestDigits& sd) {
  const int n = sd.count;
  const int e = sd.exponent;
  if (e < 0) {
    out.append("0.");
    out.append(static_cast<std::size_t>(-e - 1), '0');
    out.append(sd.digits, n);
  } else if (e <= n - 2) {
    out.append(sd.digits, e + 1);
    out.push_back('.');
    out.append(sd.digits + e + 1, n - e - 1);
  } else {
    out.append(sd.digits, n);
    out.append(static_cast<std::size_t>(e - n + 1), '0');
    out.append(".0");
  }
}

}  // namespace

void write_plain_double(std::string& out, double value) {
  if (std::signbit(value)) out.push_back('-');
  if (value == 0.0) {
    out.append("0.0");
    return;
  }
  append_plain(out, shortest_digits(value));
}

void write_double(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out.append("null");
    return;
  }
  if (std::signbit(value)) out.push_back('-');
  if (value == 0.0) {
    out.append("0.0");
    return;
  }
  const ShortestDigits sd = shortest_digits(value);
  const int e = sd.exponent;
  if (e >= -5 && e <= 15) {
    append_plain(out, sd);
    return;
  }
  out.push_back(sd.digits[0]);
  if (sd.count > 1) {
    out.push_back('.');
    out.append(sd.digits + 1, sd.count - 1);
  }
  out.push_back('e');
  out.push_back(e < 0 ? '-' : '+');
  write_int(out, e < 0 ? -e : e);
}

void write(std::string& out, const Value& value) {
  std::visit(
      [&out](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::nullptr_t>) {
          out.append("null");
        } else if constexpr (std::is_same_v<T, bool>) {
          out.append(v ? "true" : "false");
        } else if constexpr (std::is_same_v<T, std::uint64_t>) {
          write_uint(out, v);
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          write_int(out, v);
        } else if constexpr (std::is_same_v<T, double>) {
          write_double(out, v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          write_string(out, v);
        } else if constexpr (std::is_same_v<T, Array>) {
          out.push_back('[');
          bool first = true;
          for (const auto& item : v) {
            if (!first) out.push_back(',');
            first = false;
            write(out, item);
          }
          out.push_back(']');
        } else {
          out.push_back('{');
          bool first = true;
          for (const auto& [key, item] : v) {
            if (!first) out.push_back(',');
            first = false;
            write_string(out, key);
            out.push_back(':');
            write(out, item);
          }
          out.push_back('}');
        }
      },
      value.storage());
}

std::string to_string(const Value& value) {
  std::string out;
  out.reserve(128);
  write(out, value);
  return out;
}

}  // namespace tarnvale::json
