#include "websocket/core/error.hpp"

#include "platform/io_error.hpp"

namespace tarnvale::websocket {

Error Error::io(int code) { return Error(ErrorKind::io, platform::IoError::from_code(code).display()); }

Error Error::message_too_long(std::uint64_t size, std::uint64_t limit) {
  return capacity("Message too long: " + std::to_string(size) + " > " + std::to_string(limit));
}

std::string Error::display() const {
  switch (kind_) {
    case ErrorKind::connection_closed: return "Connection closed normally";
    case ErrorKind::already_closed: return "Trying to work with closed connection";
    case ErrorKind::io: return "IO error: " + detail_;
    case ErrorKind::capacity: return "Space limit exceeded: " + detail_;
    case ErrorKind::protocol: return "WebSocket protocol error: " + detail_;
    case ErrorKind::utf8: return "UTF-8 encoding error: " + detail_;
    case ErrorKind::attack_attempt: return "Attack attempt detected";
    case ErrorKind::http: return "HTTP error: " + detail_;
    case ErrorKind::http_format: return "HTTP format error: " + detail_;
  }
  return detail_;
}

}  // namespace tarnvale::websocket
