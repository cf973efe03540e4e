// Which close codes a peer may use, and the close frame that answers a peer's close.
#pragma once

#include <cstdint>
#include <string_view>

#include "websocket/core/event.hpp"

namespace tarnvale::websocket {

inline constexpr std::uint16_t kCloseProtocolError = 1002;
inline constexpr std::string_view kProtocolViolation = "Protocol violation";

// 1000-1003, 1007-1013 and 3000-4999: the codes a peer may send. 1004-1006 and 1015 are
// reserved for local use, and the rest of 0-2999 is unassigned or reserved for the protocol.
bool is_sendable_close_code(std::uint16_t code);

// The answer to a peer's close: the same code and reason for a code the peer may send,
// 1002 "Protocol violation" for any other code, and a close without a code for one without.
Close close_answer(const Close& received);

}  // namespace tarnvale::websocket
