// UTF-8 text as Unicode characters: lossy decoding, validity, and the White_Space property.
#pragma once

#include <cstddef>
#include <string_view>

namespace tarnvale::platform {

inline constexpr char32_t kReplacementCharacter = U'\uFFFD';

// The character that starts at text[pos], advancing pos past it. An ill-formed sequence
// decodes as U+FFFD and pos moves past its maximal subpart, as lossy conversion does.
// Requires pos < text.size().
char32_t decode_utf8(std::string_view text, std::size_t& pos);

bool is_valid_utf8(std::string_view text);

// The Unicode White_Space property (25 code points).
bool is_white_space(char32_t c);

}  // namespace tarnvale::platform
