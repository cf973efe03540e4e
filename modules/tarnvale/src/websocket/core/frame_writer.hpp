// Encoding of outgoing frames. A data frame's header is encoded on its own so that it goes
// out beside the caller's payload in one gather write; the payload is never copied.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "websocket/core/frame.hpp"

namespace tarnvale::websocket {

struct EncodedHeader {
  std::array<unsigned char, kMaxFrameHeaderSize> bytes{};
  std::size_t size = 0;
  std::string_view view() const { return {reinterpret_cast<const char*>(bytes.data()), size}; }
};

// The header of a final or non-final frame, with the shortest length encoding. With a mask
// the caller masks the payload itself (apply_mask with offset 0).
EncodedHeader encode_frame_header(bool fin, Opcode opcode, std::uint64_t payload_length,
                                  const std::optional<MaskKey>& mask);

// A whole final frame, masked when a mask is given: for control frames, whose payload is at
// most 125 bytes.
std::string encode_frame(Opcode opcode, std::string_view payload, const std::optional<MaskKey>& mask);

// The payload of a close frame: empty without a code, otherwise the code in network order
// followed by the reason.
std::string close_payload(std::optional<std::uint16_t> code, std::string_view reason);

}  // namespace tarnvale::websocket
