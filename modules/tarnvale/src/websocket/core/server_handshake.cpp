#include "websocket/core/server_handshake.hpp"

#include "websocket/core/accept_key.hpp"
#include "websocket/core/detail/http_head.hpp"

namespace tarnvale::websocket {

Result<std::optional<std::string>, Error> ServerHandshake::commit(std::size_t n) {
  auto ended = reader_.commit(n, [this](const HeadLine& line) { return take(line); });
  if (!ended) return unexpected(std::move(ended).error());
  if (!*ended) return std::optional<std::string>();
  return respond();
}

// Only what a client's opening handshake must carry is kept: the request target and every
// other header are ignored. Of a field that should come once, the first counts.
Result<void, Error> ServerHandshake::take(const HeadLine& line) {
  if (line.kind == HeadLine::Kind::start) {
    auto request = parse_request_line(line.text, true);
    if (!request) return unexpected(std::move(request).error());
    get_ = (*request)->method == "GET";
    version_ = (*request)->version;
    return {};
  }
  auto field = parse_field_line(line.text);
  if (!field) return unexpected(std::move(field).error());
  const auto [name, value] = *field;
  if (upgrade_.take(name, value)) return {};
  if (equals_ignoring_case(name, "Sec-WebSocket-Version")) {
    if (!websocket_version_13_) websocket_version_13_ = value == "13";
  } else if (equals_ignoring_case(name, "Sec-WebSocket-Key")) {
    if (!key_) key_ = std::string(value);
  }
  return {};
}

Result<std::optional<std::string>, Error> ServerHandshake::respond() const {
  if (!get_) return unexpected(Error::protocol("Unsupported HTTP method used - only GET is allowed"));
  if (version_ < 11) return unexpected(Error::protocol("HTTP version must be 1.1 or higher"));
  if (!upgrade_.connection_upgrade) return unexpected(Error::protocol("No \"Connection: upgrade\" header"));
  if (!upgrade_.upgrade_websocket) return unexpected(Error::protocol("No \"Upgrade: websocket\" header"));
  if (!websocket_version_13_.value_or(false)) {
    return unexpected(Error::protocol("No \"Sec-WebSocket-Version: 13\" header"));
  }
  if (!key_) return unexpected(Error::protocol("No \"Sec-WebSocket-Key\" header"));
  // A client sends frames only after it has read the response.
  if (!reader_.leftover().empty()) return unexpected(Error::protocol("Junk after client request"));

  std::string response =
      "HTTP/1.1 101 Switching Protocols\r\n"
      "Connection: Upgrade\r\n"
      "Upgrade: websocket\r\n"
      "Sec-WebSocket-Accept: ";
  response += accept_key(*key_);
  response += "\r\n\r\n";
  return std::optional<std::string>(std::move(response));
}

}  // namespace tarnvale::websocket
