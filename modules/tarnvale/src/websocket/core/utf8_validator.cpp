#include "websocket/core/utf8_validator.hpp"

#include <cstring>
#include <string>

namespace tarnvale::websocket {

namespace {

Error invalid_sequence(unsigned length, std::uint64_t index) {
  return Error::utf8("invalid utf-8 sequence of " + std::to_string(length) + " bytes from index " +
                     std::to_string(index));
}

}  // namespace

Result<void, Error> Utf8Validator::feed(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    if (need_ == 0) {
      // Most texts are ASCII: skip eight bytes at a time while no high bit is set.
      while (i + 8 <= n) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ULL) break;
        i += 8;
      }
      if (i == n) break;
      const unsigned char c = p[i];
      if (c < 0x80) {
        ++i;
        continue;
      }
      seq_start_ = offset_ + i;
      lo_ = 0x80;
      hi_ = 0xBF;
      if (c >= 0xC2 && c <= 0xDF) {
        need_ = 1;
      } else if (c >= 0xE0 && c <= 0xEF) {
        need_ = 2;
        if (c == 0xE0) lo_ = 0xA0;
        if (c == 0xED) hi_ = 0x9F;
      } else if (c >= 0xF0 && c <= 0xF4) {
        need_ = 3;
        if (c == 0xF0) lo_ = 0x90;
        if (c == 0xF4) hi_ = 0x8F;
      } else {
        return unexpected(invalid_sequence(1, seq_start_));
      }
      seen_ = 1;
      ++i;
    } else {
      const unsigned char c = p[i];
      if (c < lo_ || c > hi_) return unexpected(invalid_sequence(seen_, seq_start_));
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

Result<void, Error> Utf8Validator::finish() const {
  if (need_ != 0) {
    return unexpected(Error::utf8("incomplete utf-8 byte sequence from index " + std::to_string(seq_start_)));
  }
  return {};
}

}  // namespace tarnvale::websocket
