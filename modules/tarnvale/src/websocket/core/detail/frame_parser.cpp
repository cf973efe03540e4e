#include "websocket/core/detail/frame_parser.hpp"

#include <string>

namespace tarnvale::websocket {

namespace {

bool is_known_opcode(unsigned value) {
  switch (value) {
    case 0x0: case 0x1: case 0x2: case 0x8: case 0x9: case 0xA: return true;
    default: return false;
  }
}

}  // namespace

Result<std::optional<FrameHeader>, Error> parse_frame_header(const unsigned char* data, std::size_t size,
                                                             Role role) {
  if (size < 2) return std::optional<FrameHeader>();
  FrameHeader header;
  header.fin = (data[0] & 0x80) != 0;
  if ((data[0] & 0x70) != 0) return unexpected(Error::protocol("Reserved bits are non-zero"));
  const unsigned opcode = data[0] & 0x0F;
  if (!is_known_opcode(opcode)) {
    const char* kind = opcode < 0x8 ? "Unknown data frame type: " : "Unknown control frame type: ";
    return unexpected(Error::protocol(kind + std::to_string(opcode)));
  }
  header.opcode = static_cast<Opcode>(opcode);
  header.masked = (data[1] & 0x80) != 0;
  const unsigned short_length = data[1] & 0x7F;
  if (is_control(header.opcode)) {
    if (!header.fin) return unexpected(Error::protocol("Fragmented control frame"));
    if (short_length > kMaxControlPayload) {
      return unexpected(Error::protocol(std::string(kControlFrameTooBig)));
    }
  }
  if (role == Role::server && !header.masked) {
    return unexpected(Error::protocol("Received an unmasked frame from client"));
  }
  if (role == Role::client && header.masked) {
    return unexpected(Error::protocol("Received a masked frame from server"));
  }

  // Lengths that could have been written in a shorter form are accepted: the length they
  // give is unambiguous, and refusing them protects nothing. A 64-bit length with its top
  // bit set exceeds the frame limit and is refused by that check.
  const std::size_t length_bytes = short_length == 126 ? 2 : short_length == 127 ? 8 : 0;
  header.header_size = 2 + length_bytes + (header.masked ? 4 : 0);
  if (size < 2 + length_bytes) return std::optional<FrameHeader>();
  std::uint64_t length = short_length;
  if (length_bytes != 0) {
    length = 0;
    for (std::size_t i = 0; i < length_bytes; ++i) length = (length << 8) | data[2 + i];
  }
  if (length > kMaxFramePayload) return unexpected(Error::message_too_long(length, kMaxFramePayload));
  header.payload_length = length;

  if (size < header.header_size) return std::optional<FrameHeader>();
  if (header.masked) {
    for (std::size_t i = 0; i < 4; ++i) header.mask[i] = data[2 + length_bytes + i];
  }
  return std::optional<FrameHeader>(header);
}

}  // namespace tarnvale::websocket
