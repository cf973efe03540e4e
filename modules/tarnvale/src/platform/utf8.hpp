// UTF-8: the one table of well-formed sequences, an incremental validator for texts that
// arrive in pieces, lossy decoding into characters, and the White_Space property.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/result.hpp"

namespace tarnvale::platform {

inline constexpr char32_t kReplacementCharacter = U'\uFFFD';

// What a byte starts in well-formed UTF-8 (Unicode, table 3-7).
struct Utf8Lead {
  // Bytes of the sequence: 1 for ASCII, 0 for a byte that cannot start one.
  unsigned length;
  // Range of the second byte, which rules out overlong forms, surrogates and code points
  // above U+10FFFF; every later byte is a plain continuation byte.
  unsigned char second_lo;
  unsigned char second_hi;
};

constexpr Utf8Lead utf8_lead(unsigned char b) {
  if (b < 0x80) return {1, 0, 0};
  if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

constexpr bool is_utf8_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The length of the well-formed sequence at the start of `text` (not empty), or 0 when it is
// ill-formed or cut short.
constexpr std::size_t utf8_sequence_length(std::string_view text) {
  const Utf8Lead lead = utf8_lead(static_cast<unsigned char>(text[0]));
  if (lead.length <= 1) return lead.length;
  if (text.size() < lead.length) return 0;
  const auto second = static_cast<unsigned char>(text[1]);
  if (second < lead.second_lo || second > lead.second_hi) return 0;
  for (std::size_t k = 2; k < lead.length; ++k) {
    if (!is_utf8_continuation(static_cast<unsigned char>(text[k]))) return 0;
  }
  return lead.length;
}

// Writes the UTF-8 sequence of the code point `c` (not a surrogate, at most U+10FFFF) to
// `out`, which has room for 4 bytes, and returns its length.
std::size_t encode_utf8(char32_t c, char* out);

// Where a text stops being well-formed: the sequence whose lead byte is at `index` (counted
// over everything fed) is ill-formed after its first `length` bytes.
struct Utf8Fault {
  std::uint64_t index;
  unsigned length;
};

// Checks a text piece by piece, so an ill-formed byte is found as soon as it arrives and a
// sequence may be split between pieces.
class Utf8Validator {
 public:
  // Checks the next bytes of the text.
  Result<void, Utf8Fault> feed(std::string_view bytes);
  // The text has ended: the index of the lead byte of a sequence left unfinished, if any.
  Result<void, std::uint64_t> finish() const;
  // Ready for a new text.
  void reset() { *this = Utf8Validator(); }

 private:
  std::uint64_t offset_ = 0;     // bytes fed before the current piece
  std::uint64_t seq_start_ = 0;  // index of the lead byte of the unfinished sequence
  unsigned need_ = 0;            // continuation bytes still missing
  unsigned seen_ = 0;            // bytes of the unfinished sequence seen so far
  unsigned char lo_ = 0x80;      // range of the next continuation byte
  unsigned char hi_ = 0xBF;
};

bool is_valid_utf8(std::string_view text);

// The character that starts at text[pos], advancing pos past it. An ill-formed sequence
// decodes as U+FFFD and pos moves past its maximal subpart, as lossy conversion does.
// Requires pos < text.size().
char32_t decode_utf8(std::string_view text, std::size_t& pos);

// The Unicode White_Space property (25 code points).
bool is_white_space(char32_t c);

}  // namespace tarnvale::platform
