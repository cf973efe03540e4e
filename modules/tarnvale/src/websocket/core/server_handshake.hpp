// The server side of the opening handshake, without I/O: the client's request goes in as it
// arrives; out comes the 101 response to write, or the error that fails the handshake, in
// which case nothing at all is written.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "platform/result.hpp"
#include "websocket/core/error.hpp"
#include "websocket/core/handshake_reader.hpp"

namespace tarnvale::websocket {

class ServerHandshake {
 public:
  // Where the next read goes: at most 4096 bytes.
  std::span<unsigned char> read_space() { return reader_.read_space(); }
  // `n` bytes (n > 0) were read: the response once the request is complete and a valid
  // upgrade with nothing behind it; none while more is due.
  Result<std::optional<std::string>, Error> commit(std::size_t n);
  // The client closed before its request was complete: "Handshake not finished".
  static Error end_of_input() { return HandshakeReader::end_of_input(); }

 private:
  Result<void, Error> take(const HeadLine& line);
  Result<std::optional<std::string>, Error> respond() const;

  HandshakeReader reader_{HandshakeReader::Head::request};
  // What the request carries of what an upgrade needs.
  bool get_ = false;
  int version_ = 0;
  UpgradeFields upgrade_;
  std::optional<bool> websocket_version_13_;
  std::optional<std::string> key_;
};

}  // namespace tarnvale::websocket
