// The client side of the opening handshake, without I/O: the GET upgrade request to write,
// then the server's response as it arrives, checked to be a 101 that accepts our key.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/result.hpp"
#include "websocket/core/error.hpp"
#include "websocket/core/handshake_reader.hpp"

namespace tarnvale::websocket {

class ClientHandshake {
 public:
  // `key` is the Sec-WebSocket-Key: base64 of 16 random bytes.
  ClientHandshake(std::string_view host, std::string_view target, std::string_view key);

  const std::string& request() const { return request_; }
  std::span<unsigned char> read_space() { return reader_.read_space(); }
  // `n` bytes (n > 0) were read: once a valid response is complete, the bytes that the server
  // sent behind it (its first frames); none while more is due.
  Result<std::optional<std::string>, Error> commit(std::size_t n);
  Error end_of_input() const { return reader_.end_of_input(); }

 private:
  Result<void, Error> take(const HeadLine& line);
  Result<std::optional<std::string>, Error> check() const;

  std::string request_;
  std::string expected_accept_;
  HandshakeReader reader_{HandshakeReader::Head::response};
  // What the response carries of what an accepted upgrade needs.
  unsigned status_ = 0;
  UpgradeFields upgrade_;
  std::optional<std::string> accept_;
};

}  // namespace tarnvale::websocket
