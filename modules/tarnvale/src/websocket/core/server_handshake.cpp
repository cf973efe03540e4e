#include "websocket/core/server_handshake.hpp"

#include <boost/beast/http/field.hpp>
#include <boost/beast/http/verb.hpp>

#include "websocket/core/accept_key.hpp"

namespace tarnvale::websocket {

namespace http = boost::beast::http;

// Only what a client's opening handshake must carry is checked: the request target and
// every other header are ignored.
Result<std::optional<std::string>, Error> ServerHandshake::commit(std::size_t n) {
  auto complete = reader_.commit(n);
  if (!complete) return unexpected(std::move(complete).error());
  if (!*complete) return std::optional<std::string>();

  const auto& request = reader_.message();
  if (request.method() != http::verb::get) {
    return unexpected(Error::protocol("Unsupported HTTP method used - only GET is allowed"));
  }
  if (request.version() < 11) return unexpected(Error::protocol("HTTP version must be 1.1 or higher"));
  if (!has_token(request, http::field::connection, "upgrade")) {
    return unexpected(Error::protocol("No \"Connection: upgrade\" header"));
  }
  if (!has_token(request, http::field::upgrade, "websocket")) {
    return unexpected(Error::protocol("No \"Upgrade: websocket\" header"));
  }
  const auto version = request.find(http::field::sec_websocket_version);
  if (version == request.end() || version->value() != "13") {
    return unexpected(Error::protocol("No \"Sec-WebSocket-Version: 13\" header"));
  }
  const auto key = request.find(http::field::sec_websocket_key);
  if (key == request.end()) return unexpected(Error::protocol("No \"Sec-WebSocket-Key\" header"));
  // A client sends frames only after it has read the response.
  if (!reader_.leftover().empty()) return unexpected(Error::protocol("Junk after client request"));

  std::string response =
      "HTTP/1.1 101 Switching Protocols\r\n"
      "Connection: Upgrade\r\n"
      "Upgrade: websocket\r\n"
      "Sec-WebSocket-Accept: ";
  response += accept_key(key->value());
  response += "\r\n\r\n";
  return std::optional<std::string>(std::move(response));
}

}  // namespace tarnvale::websocket
