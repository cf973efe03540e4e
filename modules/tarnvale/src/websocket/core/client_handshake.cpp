#include "websocket/core/client_handshake.hpp"

#include <boost/beast/http/field.hpp>

#include "websocket/core/accept_key.hpp"

namespace tarnvale::websocket {

namespace http = boost::beast::http;

ClientHandshake::ClientHandshake(std::string_view host, std::string_view target, std::string_view key)
    : expected_accept_(accept_key(key)) {
  request_.append("GET ").append(target).append(" HTTP/1.1\r\nHost: ").append(host);
  request_.append("\r\nConnection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\nSec-WebSocket-Key: ");
  request_.append(key).append("\r\n\r\n");
}

Result<std::optional<std::string>, Error> ClientHandshake::commit(std::size_t n) {
  auto complete = reader_.commit(n);
  if (!complete) return unexpected(std::move(complete).error());
  if (!*complete) return std::optional<std::string>();

  const auto& response = reader_.message();
  if (response.result_int() != 101) return unexpected(Error::http(response.result_int()));
  if (!has_token(response, http::field::connection, "upgrade")) {
    return unexpected(Error::protocol("No \"Connection: upgrade\" header"));
  }
  if (!has_token(response, http::field::upgrade, "websocket")) {
    return unexpected(Error::protocol("No \"Upgrade: websocket\" header"));
  }
  const auto accept = response.find(http::field::sec_websocket_accept);
  if (accept == response.end() || accept->value() != expected_accept_) {
    return unexpected(Error::protocol("Key mismatch in \"Sec-WebSocket-Accept\" header"));
  }
  return std::optional<std::string>(std::string(reader_.leftover()));
}

}  // namespace tarnvale::websocket
