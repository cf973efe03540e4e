#include "protocol/system_path.hpp"

#include <algorithm>
#include <cstdint>

#include "platform/utf8.hpp"

namespace tarnvale::protocol {

namespace {

constexpr std::string_view kEmpty = "path must not be empty";
constexpr std::string_view kTooLong = "path exceeds 512 bytes";
constexpr std::string_view kOuterWhiteSpace = "path must not contain leading or trailing whitespace";
constexpr std::string_view kTooManySegments = "path exceeds 64 segments";
constexpr std::string_view kNotSystem = "path must be 'system' or start with 'system.'";
constexpr std::string_view kEmptySegment = "path segments must not be empty";
constexpr std::string_view kBadCharacter = "path segments may contain only ASCII letters, digits, '-' and '_'";

// The character that ends `text` (U+FFFD when its last bytes are not one character).
char32_t last_character(std::string_view text) {
  std::size_t start = text.size() - 1;
  while (start > 0 && text.size() - start < 4 && platform::is_utf8_continuation(static_cast<unsigned char>(text[start]))) {
    --start;
  }
  std::size_t pos = start;
  const char32_t c = platform::decode_utf8(text, pos);
  return pos == text.size() ? c : platform::kReplacementCharacter;
}

bool is_segment_character(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_';
}

}  // namespace

Result<SystemPath, std::string_view> SystemPath::parse(std::string_view text) {
  if (text.empty()) return unexpected(kEmpty);
  if (text.size() > kMaxPathBytes) return unexpected(kTooLong);
  std::size_t first_end = 0;
  if (platform::is_white_space(platform::decode_utf8(text, first_end)) ||
      platform::is_white_space(last_character(text))) {
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
