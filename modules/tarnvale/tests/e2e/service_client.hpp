// A WebSocket client of the running service on 127.0.0.1:8083, driven synchronously: every
// call runs the client's own I/O until its operation completes or its deadline passes.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "websocket/stream.hpp"

namespace tarnvale::e2e {

inline constexpr unsigned short kServicePort = 8083;

// A TCP connection to the service, not yet a WebSocket: for raw bytes and resets.
int connect_tcp();

// How the service's side of a TCP connection ended, as the client sees it.
enum class TcpEnd { orderly, reset, open };
inline std::ostream& operator<<(std::ostream& out, TcpEnd end) {
  return out << (end == TcpEnd::orderly ? "orderly" : end == TcpEnd::reset ? "reset" : "open");
}

class ServiceClient {
 public:
  // Connects over TCP and starts the opening handshake; open() completes it. A positive
  // `receive_buffer` is set as SO_RCVBUF before connecting.
  explicit ServiceClient(int receive_buffer = 0);
  ServiceClient(const ServiceClient&) = delete;
  ServiceClient& operator=(const ServiceClient&) = delete;
  ~ServiceClient();

  // Runs the opening handshake for at most `timeout`; true once the connection is open. A
  // handshake that is not done yet stays in progress for a later call.
  bool open(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  bool send_text(std::string text);
  bool send_binary(std::string payload);
  bool send_ping(std::string_view payload);
  // Sends a close frame; the server's answer is read with next().
  bool close(std::uint16_t code, std::string_view reason);
  // Writes `bytes` as they are, in one write: frames built by hand.
  bool send_raw(std::string bytes);

  // The next thing received: a text message's payload as it is, or "close <code> <reason>",
  // "pong <payload>", "ping <payload>", "binary", "end", "error: <display text>", "timeout".
  std::string next(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // The next text message that is not a pushed update, skipping updates.
  std::string next_reply(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // Reads and discards until the server's side ends, within `timeout`: orderly when the
  // stream ends (recv returns 0) and no reset follows, reset when one came instead or after.
  TcpEnd tcp_end(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Closes the TCP connection without a close frame.
  void drop();
  unsigned short local_port() const { return local_port_; }

 private:
  struct Handshake;
  // Runs `io_` until `done` holds or `timeout` passes.
  template <class Done>
  bool run_until(Done done, std::chrono::milliseconds timeout);
  bool run_send(boost::asio::awaitable<Result<void, websocket::Error>> send);

  boost::asio::io_context io_;
  std::shared_ptr<Handshake> handshake_;
  std::optional<websocket::Stream> stream_;
  unsigned short local_port_ = 0;
  // An operation that overran its deadline may still be in progress: nothing more is started.
  bool stuck_ = false;
};

// A request of `type` for `path` with a fixed identifier.
std::string request(std::string_view type, std::string_view path);

}  // namespace tarnvale::e2e
