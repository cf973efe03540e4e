// The server side of the opening handshake, without I/O: the client's request goes in as it
// arrives; out comes the 101 response to write, or the error that fails the handshake, in
// which case nothing at all is written.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/result.hpp"
#include "websocket/core/error.hpp"
#include "websocket/core/handshake_reader.hpp"

namespace tarnvale::websocket {

class ServerHandshake {
 public:
  // The request's bytes held count against `budget`, if any.
  explicit ServerHandshake(std::shared_ptr<InputBudget> budget = nullptr)
      : reader_(HandshakeReader::Head::request, std::move(budget)) {}

  // Where the next read goes: at most 4096 bytes.
  std::span<unsigned char> read_space() { return reader_.read_space(); }
  // `n` bytes (n > 0) were read: the response once the request is complete and a valid
  // upgrade with nothing behind it; none while more is due.
  Result<std::optional<std::string>, Error> commit(std::size_t n);
  // The request ended unfinished: "Handshake not finished", or the budget's refusal.
  Error end_of_input() const { return reader_.end_of_input(); }
  InputAccount& input_account() { return reader_.input_account(); }

 private:
  Result<void, Error> take(const HeadLine& line);
  Result<std::optional<std::string>, Error> respond() const;

  HandshakeReader reader_;
  // What the request carries of what an upgrade needs.
  bool get_ = false;
  int version_ = 0;
  UpgradeFields upgrade_;
  std::optional<bool> websocket_version_13_;
  std::optional<std::string> key_;
};

}  // namespace tarnvale::websocket
