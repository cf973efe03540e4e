// UTF-8 text as Unicode characters: lossy decoding, validity, and the White_Space property
// with the trimming and field splitting built on it.
#pragma once

#include <cstddef>
#include <string_view>

namespace tarnvale::metrics {

inline constexpr char32_t kReplacementCharacter = U'\uFFFD';

// The character that starts at text[pos], advancing pos past it. An ill-formed sequence
// decodes as U+FFFD and pos moves past its maximal subpart, as lossy conversion does.
// Requires pos < text.size().
char32_t decode_utf8(std::string_view text, std::size_t& pos);

bool is_valid_utf8(std::string_view text);

// The Unicode White_Space property.
bool is_white_space(char32_t c);

std::string_view trim_start_white_space(std::string_view text);
std::string_view trim_white_space(std::string_view text);

// The next field of `text` split at runs of white space, starting the search at pos and
// leaving pos after the field; empty once no field is left.
std::string_view next_field(std::string_view text, std::size_t& pos);

}  // namespace tarnvale::metrics
