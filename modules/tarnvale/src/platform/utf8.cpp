#include "platform/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace tarnvale::platform {

namespace {

bool in(unsigned char b, unsigned char lo, unsigned char hi) { return b >= lo && b <= hi; }

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

std::uint64_t word_at(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

}  // namespace

char32_t decode_utf8(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  std::size_t length;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  char32_t c;
  if (in(lead, 0xC2, 0xDF)) {
    length = 2;
    c = lead & 0x1F;
  } else if (in(lead, 0xE0, 0xEF)) {
    length = 3;
    c = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;  // no surrogates
  } else if (in(lead, 0xF0, 0xF4)) {
    length = 4;
    c = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return kReplacementCharacter;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (pos >= text.size()) return kReplacementCharacter;
    const auto b = static_cast<unsigned char>(text[pos]);
    if (!in(b, lo, hi)) return kReplacementCharacter;
    c = (c << 6) | (b & 0x3F);
    ++pos;
    lo = 0x80;
    hi = 0xBF;
  }
  return c;
}

bool is_valid_utf8(std::string_view text) {
  const char* p = text.data();
  std::size_t pos = 0;
  while (pos < text.size()) {
    // Kernel texts are ASCII: skip 32 bytes, or else eight, at a time while no high bit is set.
    if (pos + 32 <= text.size() &&
        ((word_at(p + pos) | word_at(p + pos + 8) | word_at(p + pos + 16) | word_at(p + pos + 24)) & kHighBits) == 0) {
      pos += 32;
      continue;
    }
    if (pos + 8 <= text.size() && (word_at(p + pos) & kHighBits) == 0) {
      pos += 8;
      continue;
    }
    if (static_cast<unsigned char>(p[pos]) < 0x80) {
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    // U+FFFD itself is valid; only a replacement made by the decoder is not.
    if (decode_utf8(text, pos) == kReplacementCharacter && text.substr(start, pos - start) != "\xEF\xBF\xBD") {
      return false;
    }
  }
  return true;
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
