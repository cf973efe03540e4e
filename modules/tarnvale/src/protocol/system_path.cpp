#include "protocol/system_path.hpp"

#include <algorithm>
#include <cstdint>

namespace tarnvale::protocol {

namespace {

constexpr std::string_view kEmpty = "path must not be empty";
constexpr std::string_view kTooLong = "path exceeds 512 bytes";
constexpr std::string_view kOuterWhiteSpace = "path must not contain leading or trailing whitespace";
constexpr std::string_view kTooManySegments = "path exceeds 64 segments";
constexpr std::string_view kNotSystem = "path must be 'system' or start with 'system.'";
constexpr std::string_view kEmptySegment = "path segments must not be empty";
constexpr std::string_view kBadCharacter = "path segments may contain only ASCII letters, digits, '-' and '_'";

constexpr char32_t kNotACharacter = 0xFFFFFFFF;

// The Unicode White_Space property.
bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

// The character encoded by exactly the bytes of `seq`, or kNotACharacter when they are not
// one well-formed UTF-8 sequence.
char32_t decode_one(std::string_view seq) {
  const auto b0 = static_cast<unsigned char>(seq[0]);
  std::size_t len = 0;
  char32_t c = 0;
  if (b0 < 0x80) return seq.size() == 1 ? b0 : kNotACharacter;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    c = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    c = b0 & 0x07;
  } else {
    return kNotACharacter;
  }
  if (seq.size() != len) return kNotACharacter;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(seq[k]);
    if ((b & 0xC0) != 0x80) return kNotACharacter;
    c = (c << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMinOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMinOfLength[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kNotACharacter;
  return c;
}

char32_t first_character(std::string_view text) {
  const auto b0 = static_cast<unsigned char>(text[0]);
  const std::size_t len = b0 < 0xE0 ? (b0 < 0xC0 ? 1 : 2) : (b0 < 0xF0 ? 3 : 4);
  return decode_one(text.substr(0, std::min(len, text.size())));
}

char32_t last_character(std::string_view text) {
  std::size_t start = text.size() - 1;
  while (start > 0 && text.size() - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
  return decode_one(text.substr(start));
}

bool is_segment_character(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_';
}

}  // namespace

Result<SystemPath, std::string_view> SystemPath::parse(std::string_view text) {
  if (text.empty()) return unexpected(kEmpty);
  if (text.size() > kMaxPathBytes) return unexpected(kTooLong);
  if (is_white_space(first_character(text)) || is_white_space(last_character(text))) {
    return unexpected(kOuterWhiteSpace);
  }
  const auto dots = static_cast<std::size_t>(std::count(text.begin(), text.end(), '.'));
  if (dots + 1 > kMaxPathSegments) return unexpected(kTooManySegments);
  const std::string_view first = text.substr(0, text.find('.'));
  if (first != "system") return unexpected(kNotSystem);
  if (text.back() == '.' || text.find("..") != std::string_view::npos) return unexpected(kEmptySegment);
  // Every non-ASCII byte is outside the allowed set, so bytes stand in for characters here.
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c == '.' || is_segment_character(c); })) {
    return unexpected(kBadCharacter);
  }
  SystemPath path;
  path.text_ = std::string(text);
  path.segments_.reserve(dots + 1);
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = text.find('.', start);
    path.segments_.emplace_back(text.substr(start, dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return path;
}

}  // namespace tarnvale::protocol
