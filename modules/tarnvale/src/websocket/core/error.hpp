// The WebSocket layer's error: a kind and a detail, with the display text that ends up in a
// connection's failure line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnvale::websocket {

enum class ErrorKind {
  connection_closed,  // the closing handshake has completed
  already_closed,     // an operation on a connection that has already ended
  io,                 // the socket failed
  capacity,           // a size limit was exceeded
  protocol,           // the peer broke the protocol, or the connection is in the wrong state
  utf8,               // a text message or close reason is not valid UTF-8
  attack_attempt,     // the opening handshake was dribbled in or too large
  http,               // the peer answered the opening handshake with another status
  http_format,        // the opening handshake is not well-formed HTTP
};

class Error {
 public:
  static Error connection_closed() { return Error(ErrorKind::connection_closed, {}); }
  static Error already_closed() { return Error(ErrorKind::already_closed, {}); }
  // A system error code: its C library text and " (os error N)".
  static Error io(int code);
  // An I/O failure that has no system error code.
  static Error io(std::string text) { return Error(ErrorKind::io, std::move(text)); }
  static Error capacity(std::string detail) { return Error(ErrorKind::capacity, std::move(detail)); }
  // "Message too long: <size> > <limit>".
  static Error message_too_long(std::uint64_t size, std::uint64_t limit);
  static Error protocol(std::string detail) { return Error(ErrorKind::protocol, std::move(detail)); }
  static Error utf8(std::string detail) { return Error(ErrorKind::utf8, std::move(detail)); }
  static Error attack_attempt() { return Error(ErrorKind::attack_attempt, {}); }
  static Error http(unsigned status) { return Error(ErrorKind::http, std::to_string(status)); }
  static Error http_format(std::string detail) { return Error(ErrorKind::http_format, std::move(detail)); }

  ErrorKind kind() const { return kind_; }
  const std::string& detail() const { return detail_; }
  // "Connection closed normally", "IO error: Connection reset by peer (os error 104)",
  // "WebSocket protocol error: Handshake not finished", …
  std::string display() const;

  friend bool operator==(const Error&, const Error&) = default;

 private:
  Error(ErrorKind kind, std::string detail) : kind_(kind), detail_(std::move(detail)) {}
  ErrorKind kind_;
  std::string detail_;
};

// Protocol error details that callers and tests tell apart.
inline constexpr std::string_view kResetWithoutClosingHandshake = "Connection reset without closing handshake";
inline constexpr std::string_view kHandshakeNotFinished = "Handshake not finished";
inline constexpr std::string_view kSendAfterClosing = "Sending after closing is not allowed";
inline constexpr std::string_view kControlFrameTooBig = "Control frame too big (payload must be 125 bytes or less)";

}  // namespace tarnvale::websocket
