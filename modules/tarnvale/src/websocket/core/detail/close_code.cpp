#include "websocket/core/detail/close_code.hpp"

namespace tarnvale::websocket {

bool is_sendable_close_code(std::uint16_t code) {
  return (code >= 1000 && code <= 1003) || (code >= 1007 && code <= 1013) || (code >= 3000 && code <= 4999);
}

Close close_answer(const Close& received) {
  if (!received.code) return Close{};
  if (is_sendable_close_code(*received.code)) return received;
  return Close{kCloseProtocolError, std::string(kProtocolViolation)};
}

}  // namespace tarnvale::websocket
