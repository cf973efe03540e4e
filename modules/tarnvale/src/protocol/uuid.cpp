#include "protocol/uuid.hpp"

#include <algorithm>

#include "protocol/detail/random_source.hpp"

namespace tarnvale::protocol {

namespace {

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool is_hyphenated(std::string_view text) {
  if (text.size() != kUuidTextSize) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool hyphen_place = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphen_place ? text[i] != '-' : !is_hex(text[i])) return false;
  }
  return true;
}

// Random bytes for the identifiers, fetched 4 KiB at a time: one system call per 256 UUIDs.
class RandomPool {
 public:
  const unsigned char* take16() {
    if (used_ + 16 > sizeof bytes_) {
      fill_random(bytes_, sizeof bytes_);
      used_ = 0;
    }
    const unsigned char* out = bytes_ + used_;
    used_ += 16;
    return out;
  }

 private:
  unsigned char bytes_[4096];
  std::size_t used_ = sizeof bytes_;
};

}  // namespace

bool is_uuid_text(std::string_view text) {
  switch (text.size()) {
    case 32: return std::all_of(text.begin(), text.end(), is_hex);
    case 36: return is_hyphenated(text);
    case 38: return text.front() == '{' && text.back() == '}' && is_hyphenated(text.substr(1, 36));
    case 45: return text.starts_with("urn:uuid:") && is_hyphenated(text.substr(9));
    default: return false;
  }
}

void write_random_uuid(char* out) {
  static constexpr char kHex[] = "0123456789abcdef";
  thread_local RandomPool pool;
  unsigned char b[16];
  std::copy_n(pool.take16(), 16, b);
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // variant 10
  std::size_t pos = 0;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out[pos++] = '-';
    out[pos++] = kHex[b[i] >> 4];
    out[pos++] = kHex[b[i] & 0xF];
  }
}

void append_random_uuid(std::string& out) {
  char text[kUuidTextSize];
  write_random_uuid(text);
  out.append(text, sizeof text);
}

}  // namespace tarnvale::protocol
