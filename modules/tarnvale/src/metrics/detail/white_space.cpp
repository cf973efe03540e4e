#include "metrics/detail/white_space.hpp"

#include "platform/utf8.hpp"

namespace tarnvale::metrics {

namespace {

bool is_ascii_white_space(unsigned char b) { return b == ' ' || (b >= '\t' && b <= '\r'); }

// The white-space character at text[pos] and its length in bytes, or 0 if there is none.
std::size_t white_space_length(std::string_view text, std::size_t pos) {
  const auto b = static_cast<unsigned char>(text[pos]);
  if (b < 0x80) return is_ascii_white_space(b) ? 1 : 0;
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
  // A local position: stores through `pos` would not stay in a register, as `text` may alias it.
  std::size_t at = pos;
  while (at < text.size()) {
    const std::size_t n = white_space_length(text, at);
    if (n == 0) break;
    at += n;
  }
  const std::size_t start = at;
  while (at < text.size()) {
    const auto b = static_cast<unsigned char>(text[at]);
    if (b < 0x80) {
      if (is_ascii_white_space(b)) break;
      ++at;
      continue;
    }
    std::size_t next = at;
    if (platform::is_white_space(platform::decode_utf8(text, next))) break;
    at = next;
  }
  pos = at;
  return text.substr(start, at - start);
}

}  // namespace tarnvale::metrics
