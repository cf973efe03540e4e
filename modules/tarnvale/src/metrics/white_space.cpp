#include "metrics/white_space.hpp"

#include "platform/utf8.hpp"

namespace tarnvale::metrics {

namespace {

// The white-space character at text[pos] and its length in bytes, or 0 if there is none.
std::size_t white_space_length(std::string_view text, std::size_t pos) {
  const auto b = static_cast<unsigned char>(text[pos]);
  if (b < 0x80) return (b == ' ' || (b >= '\t' && b <= '\r')) ? 1 : 0;
  std::size_t next = pos;
  return platform::is_white_space(platform::decode_utf8(text, next)) ? next - pos : 0;
}

}  // namespace

std::string_view trim_start_white_space(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t n = white_space_length(text, pos);
    if (n == 0) break;
    pos += n;
  }
  return text.substr(pos);
}

std::string_view trim_white_space(std::string_view text) {
  text = trim_start_white_space(text);
  // Scan forward: the end of the last character that is not white space.
  std::size_t end = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t n = white_space_length(text, pos);
    if (n != 0) {
      pos += n;
      continue;
    }
    platform::decode_utf8(text, pos);
    end = pos;
  }
  return text.substr(0, end);
}

std::string_view next_field(std::string_view text, std::size_t& pos) {
  while (pos < text.size()) {
    const std::size_t n = white_space_length(text, pos);
    if (n == 0) break;
    pos += n;
  }
  const std::size_t start = pos;
  while (pos < text.size() && white_space_length(text, pos) == 0) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
    } else {
      platform::decode_utf8(text, pos);
    }
  }
  return text.substr(start, pos - start);
}

}  // namespace tarnvale::metrics
