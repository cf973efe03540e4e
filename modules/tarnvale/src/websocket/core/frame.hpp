// The WebSocket frame format: opcodes, the decoded header, the size limits of this service,
// and payload masking.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarnvale::websocket {

enum class Role { server, client };

enum class Opcode : std::uint8_t {
  continuation = 0x0,
  text = 0x1,
  binary = 0x2,
  close = 0x8,
  ping = 0x9,
  pong = 0xA,
};

constexpr bool is_control(Opcode opcode) { return (static_cast<std::uint8_t>(opcode) & 0x8) != 0; }

inline constexpr std::uint64_t kMaxFramePayload = 16 * 1024 * 1024;
inline constexpr std::uint64_t kMaxMessageSize = 64 * 1024 * 1024;
inline constexpr std::uint64_t kMaxControlPayload = 125;
inline constexpr std::size_t kMaxFrameHeaderSize = 14;

using MaskKey = std::array<unsigned char, 4>;

struct FrameHeader {
  bool fin = true;
  Opcode opcode = Opcode::text;
  bool masked = false;
  MaskKey mask{};
  std::uint64_t payload_length = 0;
  std::size_t header_size = 0;  // bytes of the header on the wire
};

// XORs `size` bytes with the mask, the first byte being byte `offset` of the payload; masking
// and unmasking are the same operation.
void apply_mask(unsigned char* data, std::size_t size, const MaskKey& mask, std::uint64_t offset);

}  // namespace tarnvale::websocket
