// What reading a WebSocket connection yields: one complete message or control frame, or the
// end of the stream once the closing handshake has completed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "websocket/core/message_buffer.hpp"

namespace tarnvale::websocket {

// Valid UTF-8; the payload is the message buffer itself, moved out.
struct Text {
  MessageBuffer payload;
  friend bool operator==(const Text&, const Text&) = default;
};
struct Binary {
  MessageBuffer payload;
  friend bool operator==(const Binary&, const Binary&) = default;
};
// While the connection is open its pong is queued by the time this is yielded.
struct Ping {
  std::string payload;
  friend bool operator==(const Ping&, const Ping&) = default;
};
struct Pong {
  std::string payload;
  friend bool operator==(const Pong&, const Pong&) = default;
};
// The peer's close, as sent; when it starts the closing handshake its answer is queued by the
// time this is yielded.
struct Close {
  std::optional<std::uint16_t> code;
  std::string reason;
  friend bool operator==(const Close&, const Close&) = default;
};
// The closing handshake has completed; nothing more will be read.
struct End {
  friend bool operator==(const End&, const End&) = default;
};

using Event = std::variant<Text, Binary, Ping, Pong, Close, End>;

}  // namespace tarnvale::websocket
