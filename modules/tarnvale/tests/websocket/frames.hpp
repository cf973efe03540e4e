// Hand-built frames for the tests and benchmarks, written byte by byte so that they do not
// depend on the frame writer under test.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnvale::websocket::testing {

inline constexpr unsigned char kFin = 0x80;
inline constexpr unsigned char kText = 0x1;
inline constexpr unsigned char kBinary = 0x2;
inline constexpr unsigned char kContinuation = 0x0;
inline constexpr unsigned char kClose = 0x8;
inline constexpr unsigned char kPing = 0x9;
inline constexpr unsigned char kPong = 0xA;

// A frame header: the first byte as given, the length in the shortest form unless
// `length_bytes` (0, 2 or 8) forces one, and the mask key when masked.
inline std::string header(unsigned char first, std::uint64_t length, bool masked = true, int length_bytes = -1) {
  static constexpr unsigned char kMask[4] = {0x37, 0xFA, 0x21, 0x3D};
  if (length_bytes < 0) length_bytes = length < 126 ? 0 : length <= 0xFFFF ? 2 : 8;
  std::string h(1, static_cast<char>(first));
  const unsigned char mask_bit = masked ? 0x80 : 0;
  const unsigned char short_length = length_bytes == 0 ? static_cast<unsigned char>(length) : length_bytes == 2 ? 126 : 127;
  h.push_back(static_cast<char>(mask_bit | short_length));
  for (int i = length_bytes - 1; i >= 0; --i) h.push_back(static_cast<char>(length >> (8 * i)));
  if (masked) h.append(reinterpret_cast<const char*>(kMask), 4);
  return h;
}

// A whole frame with its payload, masked with the key of header().
inline std::string frame(unsigned char first, std::string_view payload, bool masked = true) {
  static constexpr unsigned char kMask[4] = {0x37, 0xFA, 0x21, 0x3D};
  std::string f = header(first, payload.size(), masked);
  for (std::size_t i = 0; i < payload.size(); ++i) {
    f.push_back(static_cast<char>(payload[i] ^ (masked ? kMask[i % 4] : 0)));
  }
  return f;
}

// A close payload: the code in network order, then the reason.
inline std::string close_body(std::uint16_t code, std::string_view reason) {
  std::string body{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
  body.append(reason);
  return body;
}

}  // namespace tarnvale::websocket::testing
