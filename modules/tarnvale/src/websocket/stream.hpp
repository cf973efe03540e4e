// One WebSocket connection over a TCP socket: the protocol core driven by Asio. Reading never
// blocks and a wait for readability can be abandoned at any point without losing anything,
// so a connection can wait for "a message or something else" and take whichever comes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "platform/result.hpp"
#include "websocket/core/connection.hpp"
#include "websocket/core/error.hpp"
#include "websocket/core/event.hpp"

namespace tarnvale::websocket {

class ClientHandshake;

// Move-only. Used by one operation at a time, on one thread, and not moved while an
// operation is in progress.
class Stream {
 public:
  // The server side of the opening handshake on an accepted socket. On failure nothing is
  // written and the socket is closed.
  static boost::asio::awaitable<Result<Stream, Error>> accept(boost::asio::ip::tcp::socket socket);
  // The client side: sends a GET upgrade for `target` (taken at the call) and checks the
  // 101 answer. Frames from a client are masked.
  static boost::asio::awaitable<Result<Stream, Error>> connect(boost::asio::ip::tcp::socket socket,
                                                               std::string_view target);

  Stream(Stream&&) = default;
  Stream& operator=(Stream&&) = default;

  // The next event without waiting: decodes from the bytes already received and, when they
  // hold nothing complete and the last read brought data (a busy peer's next message is
  // usually there already), makes one non-blocking read of at most 128 KiB. None when
  // nothing complete is available. Each call decodes at most one event, so one busy peer
  // cannot hold the thread. The peer closing TCP without a close frame, or a failed read,
  // comes back as an error once the events before it have been taken.
  Result<std::optional<Event>, Error> poll();
  // Completes at once when poll() can make progress; otherwise reads what the socket has
  // next, at most 128 KiB, into the stream. Whatever the read brought in is kept, also when
  // the wait is cancelled (per-operation cancellation, as inside awaitable operators), so
  // abandoning it loses nothing. The reactor tries a read at once only while the socket may
  // hold unread bytes, and otherwise waits for them without a system call.
  boost::asio::awaitable<void> wait_readable();
  // wait_readable(), or until the wait on `wake` ends (it expires or is cancelled), whichever
  // comes first; the other is then abandoned as above. One composed operation, without a
  // coroutine per side.
  boost::asio::awaitable<void> wait_readable_or(boost::asio::steady_timer& wake);
  // poll() and wait_readable() until an event or an error.
  boost::asio::awaitable<Result<Event, Error>> next();

  // One message as one final frame (unmasked from a server, masked in place from a client);
  // queued control frames go first, in the same gather write, and the payload is not copied.
  // Completes once everything is written to the socket.
  boost::asio::awaitable<Result<void, Error>> send_text(std::string text);
  boost::asio::awaitable<Result<void, Error>> send_binary(std::string payload);
  // Queues a ping (payload at most 125 bytes, taken at the call) and flushes it.
  boost::asio::awaitable<Result<void, Error>> send_ping(std::string_view payload);
  // Writes the queued control frames: the pong for a ping, the answer to a peer's close.
  boost::asio::awaitable<Result<void, Error>> flush();
  // Queues one close frame with `code` and `reason` (at most 123 bytes) at the call, then
  // writes and flushes it; afterwards no message can be sent. It does not wait for the
  // peer's answer. Once a close has been received, only its queued answer is flushed.
  boost::asio::awaitable<Result<void, Error>> close(std::uint16_t code, std::string_view reason);

  boost::asio::ip::tcp::socket& socket() { return socket_; }
  // Gives up the socket once the stream is done with, so that it can be closed on its own
  // terms; what is left of the stream reads and writes nothing more.
  boost::asio::ip::tcp::socket release_socket() && { return std::move(socket_); }
  // The protocol state, for inspection.
  const Connection& connection() const { return connection_; }

 private:
  Stream(boost::asio::ip::tcp::socket socket, Connection connection);

  static boost::asio::awaitable<Result<Stream, Error>> connect_with(boost::asio::ip::tcp::socket socket,
                                                                    std::unique_ptr<ClientHandshake> handshake);
  boost::asio::awaitable<Result<void, Error>> send_message(Opcode opcode, std::string payload);
  boost::asio::awaitable<Result<void, Error>> write_control();
  // Writes all of `buffers`, which begin with the queued control frames, and marks those written.
  boost::asio::awaitable<Result<void, Error>> write_frames(std::span<const boost::asio::const_buffer> buffers);
  boost::asio::awaitable<Result<void, Error>> flush_after(Result<void, Error> queued);
  // Keeps what a read of input_space() brought in: bytes, the end of input, or an error.
  void take_read(const boost::system::error_code& ec, std::size_t n);

  boost::asio::ip::tcp::socket socket_;
  Connection connection_;
  // A read that failed; poll() reports it.
  std::optional<Error> read_error_;
  // The last read brought data, so poll() reads at once instead of leaving it to a wait.
  bool peer_active_ = true;
};

}  // namespace tarnvale::websocket
