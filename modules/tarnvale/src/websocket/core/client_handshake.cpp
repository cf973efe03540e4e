#include "websocket/core/client_handshake.hpp"

#include "websocket/core/accept_key.hpp"
#include "websocket/core/detail/http_head.hpp"

namespace tarnvale::websocket {

ClientHandshake::ClientHandshake(std::string_view host, std::string_view target, std::string_view key)
    : expected_accept_(accept_key(key)) {
  request_.append("GET ").append(target).append(" HTTP/1.1\r\nHost: ").append(host);
  request_.append("\r\nConnection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\nSec-WebSocket-Key: ");
  request_.append(key).append("\r\n\r\n");
}

Result<std::optional<std::string>, Error> ClientHandshake::commit(std::size_t n) {
  auto ended = reader_.commit(n, [this](const HeadLine& line) { return take(line); });
  if (!ended) return unexpected(std::move(ended).error());
  if (!*ended) return std::optional<std::string>();
  return check();
}

Result<void, Error> ClientHandshake::take(const HeadLine& line) {
  if (line.kind == HeadLine::Kind::start) {
    auto status = parse_status_line(line.text, true);
    if (!status) return unexpected(std::move(status).error());
    status_ = (*status)->status;
    return {};
  }
  auto field = parse_field_line(line.text);
  if (!field) return unexpected(std::move(field).error());
  const auto [name, value] = *field;
  if (upgrade_.take(name, value)) return {};
  if (equals_ignoring_case(name, "Sec-WebSocket-Accept")) {
    if (!accept_) accept_ = std::string(value);
  }
  return {};
}

// Once the response is complete: the bytes that the server sent behind it (its first frames).
Result<std::optional<std::string>, Error> ClientHandshake::check() const {
  if (status_ != 101) return unexpected(Error::http(status_));
  if (!upgrade_.connection_upgrade) return unexpected(Error::protocol("No \"Connection: upgrade\" header"));
  if (!upgrade_.upgrade_websocket) return unexpected(Error::protocol("No \"Upgrade: websocket\" header"));
  if (accept_ != expected_accept_) {
    return unexpected(Error::protocol("Key mismatch in \"Sec-WebSocket-Accept\" header"));
  }
  return std::optional<std::string>(std::string(reader_.leftover()));
}

}  // namespace tarnvale::websocket
