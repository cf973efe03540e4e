#include "websocket/core/frame_writer.hpp"

namespace tarnvale::websocket {

EncodedHeader encode_frame_header(bool fin, Opcode opcode, std::uint64_t payload_length,
                                  const std::optional<MaskKey>& mask) {
  EncodedHeader h;
  auto& b = h.bytes;
  b[0] = static_cast<unsigned char>((fin ? 0x80 : 0x00) | static_cast<std::uint8_t>(opcode));
  const unsigned char mask_bit = mask ? 0x80 : 0x00;
  std::size_t n = 2;
  if (payload_length < 126) {
    b[1] = static_cast<unsigned char>(mask_bit | payload_length);
  } else if (payload_length <= 0xFFFF) {
    b[1] = mask_bit | 126;
    b[2] = static_cast<unsigned char>(payload_length >> 8);
    b[3] = static_cast<unsigned char>(payload_length);
    n = 4;
  } else {
    b[1] = mask_bit | 127;
    for (int i = 0; i < 8; ++i) b[2 + i] = static_cast<unsigned char>(payload_length >> (56 - 8 * i));
    n = 10;
  }
  if (mask) {
    for (std::size_t i = 0; i < 4; ++i) b[n + i] = (*mask)[i];
    n += 4;
  }
  h.size = n;
  return h;
}

std::string encode_frame(Opcode opcode, std::string_view payload, const std::optional<MaskKey>& mask) {
  const EncodedHeader header = encode_frame_header(true, opcode, payload.size(), mask);
  std::string frame;
  frame.reserve(header.size + payload.size());
  frame.append(header.view());
  frame.append(payload);
  if (mask) {
    apply_mask(reinterpret_cast<unsigned char*>(frame.data()) + header.size, payload.size(), *mask, 0);
  }
  return frame;
}

std::string close_payload(std::optional<std::uint16_t> code, std::string_view reason) {
  std::string payload;
  if (!code) return payload;
  payload.reserve(2 + reason.size());
  payload.push_back(static_cast<char>(*code >> 8));
  payload.push_back(static_cast<char>(*code & 0xFF));
  payload.append(reason);
  return payload;
}

}  // namespace tarnvale::websocket
