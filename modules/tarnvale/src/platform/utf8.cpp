#include "platform/utf8.hpp"

#include <cstring>

namespace tarnvale::platform {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

std::uint64_t word_at(const unsigned char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

}  // namespace

Result<void, Utf8Fault> Utf8Validator::feed(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    if (need_ == 0) {
      // Most texts are ASCII: skip 32 bytes, or else eight, at a time while no high bit is set.
      while (i + 32 <= n && ((word_at(p + i) | word_at(p + i + 8) | word_at(p + i + 16) | word_at(p + i + 24)) &
                             kHighBits) == 0) {
        i += 32;
      }
      while (i + 8 <= n && (word_at(p + i) & kHighBits) == 0) i += 8;
      if (i == n) break;
      const unsigned char c = p[i];
      if (c < 0x80) {
        ++i;
        continue;
      }
      seq_start_ = offset_ + i;
      const Utf8Lead lead = utf8_lead(c);
      if (lead.length == 0) return unexpected(Utf8Fault{seq_start_, 1});
      need_ = lead.length - 1;
      lo_ = lead.second_lo;
      hi_ = lead.second_hi;
      seen_ = 1;
      ++i;
    } else {
      const unsigned char c = p[i];
      if (c < lo_ || c > hi_) return unexpected(Utf8Fault{seq_start_, seen_});
      lo_ = 0x80;
      hi_ = 0xBF;
      --need_;
      ++seen_;
      ++i;
    }
  }
  offset_ += n;
  return {};
}

Result<void, std::uint64_t> Utf8Validator::finish() const {
  if (need_ != 0) return unexpected(seq_start_);
  return {};
}

bool is_valid_utf8(std::string_view text) {
  Utf8Validator validator;
  return validator.feed(text) && validator.finish();
}

char32_t decode_utf8(std::string_view text, std::size_t& pos) {
  const auto first = static_cast<unsigned char>(text[pos++]);
  const Utf8Lead lead = utf8_lead(first);
  if (lead.length == 1) return first;
  if (lead.length == 0) return kReplacementCharacter;
  char32_t c = first & (0x7F >> lead.length);
  unsigned char lo = lead.second_lo;
  unsigned char hi = lead.second_hi;
  for (unsigned i = 1; i < lead.length; ++i) {
    if (pos >= text.size()) return kReplacementCharacter;
    const auto b = static_cast<unsigned char>(text[pos]);
    if (b < lo || b > hi) return kReplacementCharacter;
    c = (c << 6) | (b & 0x3F);
    ++pos;
    lo = 0x80;
    hi = 0xBF;
  }
  return c;
}

std::size_t encode_utf8(char32_t c, char* out) {
  auto byte = [](char32_t b) { return static_cast<char>(b); };
  if (c < 0x80) {
    out[0] = byte(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = byte(0xC0 | (c >> 6));
    out[1] = byte(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = byte(0xE0 | (c >> 12));
    out[1] = byte(0x80 | ((c >> 6) & 0x3F));
    out[2] = byte(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = byte(0xF0 | (c >> 18));
  out[1] = byte(0x80 | ((c >> 12) & 0x3F));
  out[2] = byte(0x80 | ((c >> 6) & 0x3F));
  out[3] = byte(0x80 | (c & 0x3F));
  return 4;
}

bool is_white_space(char32_t c) {
  switch (c) {
    case U'\t': case U'\n': case U'\v': case U'\f': case U'\r': case U' ':
    case U'\u0085': case U'\u00A0': case U'\u1680': case U'\u2028': case U'\u2029':
    case U'\u202F': case U'\u205F': case U'\u3000':
      return true;
    default:
      return c >= U'\u2000' && c <= U'\u200A';
  }
}

}  // namespace tarnvale::platform
