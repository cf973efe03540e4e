// Decoding of one frame header from the start of the received bytes, with every check that
// the header alone allows: reserved bits and opcodes, control frame rules, masking by role,
// and the frame size limit.
#pragma once

#include <cstddef>
#include <optional>

#include "platform/result.hpp"
#include "websocket/core/error.hpp"
#include "websocket/core/frame.hpp"

namespace tarnvale::websocket {

// The header at the start of `data`, none while its bytes are incomplete, or the error that
// fails the connection. `role` is the receiving side: a server takes only masked frames, a
// client only unmasked ones. A check that needs only the first two bytes fails as soon as
// those have arrived.
Result<std::optional<FrameHeader>, Error> parse_frame_header(const unsigned char* data, std::size_t size,
                                                             Role role);

}  // namespace tarnvale::websocket
