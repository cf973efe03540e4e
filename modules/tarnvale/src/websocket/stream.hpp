// One WebSocket connection over a TCP socket: the protocol core driven by Asio. Reading never
// blocks and a wait for readability can be abandoned at any point without losing anything,
// so a connection can wait for "a message or something else" and take whichever comes.
// Writes go straight to the socket, and only what it does not take at once waits for it.
#pragma once

#include <sys/uio.h>

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

#include "platform/result.hpp"
#include "platform/waker.hpp"
#include "websocket/core/connection.hpp"
#include "websocket/core/error.hpp"
#include "websocket/core/event.hpp"

namespace tarnvale::websocket {

class ClientHandshake;

// A text message given as two consecutive parts, framed as one message without joining them.
struct TextParts {
  std::string_view first;
  std::string_view second;
};

// Move-only. Used by one operation at a time, on one thread, and not moved while an
// operation is in progress.
class Stream {
 public:
  // The server side of the opening handshake on an accepted socket. On failure nothing is
  // written and the socket is closed. The input that the connection holds unfinished, from
  // the request on, counts against `budget`, if any: when another connection's input ends it,
  // its socket is shut down and it fails with the budget's refusal.
  static boost::asio::awaitable<Result<Stream, Error>> accept(boost::asio::ip::tcp::socket socket,
                                                              std::shared_ptr<InputBudget> budget = nullptr);
  // The client side: sends a GET upgrade for `target` (taken at the call) and checks the
  // 101 answer. Frames from a client are masked.
  static boost::asio::awaitable<Result<Stream, Error>> connect(boost::asio::ip::tcp::socket socket,
                                                               std::string_view target);

  Stream(Stream&&) = default;
  Stream& operator=(Stream&& other) noexcept;
  ~Stream();

  // The next event without waiting: decodes from the bytes already received and, when they
  // hold nothing complete and the socket may hold more (at first, after a wait for it, or
  // while the last read filled its space), makes one non-blocking read of at most 128 KiB. A
  // read that leaves room has drained the socket, which is not read again until a wait for it
  // has ended. None when nothing complete is available. Each call decodes at most one event,
  // so one busy peer cannot hold the thread. The peer closing TCP without a close frame, or a
  // failed read, comes back as an error once the events before it have been taken.
  Result<std::optional<Event>, Error> poll();
  // True while poll() would read at once: the last read filled its space.
  bool readable() const;
  // The peer may have sent more since the socket was drained: the next poll() reads at once,
  // unless a wait for the socket is armed, which reads itself.
  void expect_input();
  // For an owner that sleeps until one of several things happens: once poll() has yielded
  // nothing and readable() is false, rings `waker` when the socket has input, its end or an
  // error. The wait stays armed, across anything else the owner does, until then; asking
  // again meanwhile only replaces the waker. It reads a few bytes, which poll() takes, and it
  // touches nothing of a stream that is gone by the time it ends. An owner that uses it uses
  // no wait_readable().
  void wake_when_readable(platform::Waker& waker);
  // Rings nobody any more.
  void forget_waker();
  // Completes at once when poll() can make progress (bytes, the end of input or an error wait
  // in the socket); otherwise when the socket becomes readable. It reads nothing, so
  // abandoning it (per-operation cancellation, as inside awaitable operators) loses nothing.
  boost::asio::awaitable<void> wait_readable();
  // poll() and wait_readable() until an event or an error.
  boost::asio::awaitable<Result<Event, Error>> next();

  // One message as one final frame (unmasked from a server, masked in place from a client);
  // queued control frames go first, in the same gather write, and the payload is not copied.
  // Completes once everything is written to the socket.
  boost::asio::awaitable<Result<void, Error>> send_text(std::string text);
  // Several text messages as final frames, after the queued control frames, in one gathered
  // write (more only past the system's limit of parts per write). The parts are taken at the
  // call: what the socket does not take at once is copied and written by the returned
  // operation. Server role only, as a client would have to mask the parts in place.
  boost::asio::awaitable<Result<void, Error>> send_texts(std::span<const TextParts> texts);
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
  // terms; what is left of the stream reads and writes nothing more. A readiness watch ends.
  boost::asio::ip::tcp::socket release_socket() &&;
  // The protocol state, for inspection.
  const Connection& connection() const { return connection_; }

 private:
  struct ReadWatch;

  Stream(boost::asio::ip::tcp::socket socket, Connection connection);

  static boost::asio::awaitable<Result<Stream, Error>> connect_with(boost::asio::ip::tcp::socket socket,
                                                                    std::unique_ptr<ClientHandshake> handshake);
  boost::asio::awaitable<Result<void, Error>> send_message(Opcode opcode, std::string payload);
  boost::asio::awaitable<Result<void, Error>> write_control();
  // Writes `parts`, which begin with the queued control frames, as far as the socket takes
  // them now, and leaves the rest to the returned operation, which marks the control frames
  // written once all is. `payload`, when given, holds the bytes of the last part, and the
  // operation takes it over when only its end is left.
  boost::asio::awaitable<Result<void, Error>> write_parts(std::span<iovec> parts, std::string* payload = nullptr);
  boost::asio::awaitable<Result<void, Error>> finish_write(Result<std::string, Error> rest);
  boost::asio::awaitable<Result<void, Error>> flush_after(Result<void, Error> queued);
  // Keeps what a read into `space` bytes of input_space() brought in: bytes, the end of
  // input, or an error.
  void take_read(const boost::system::error_code& ec, std::size_t n, std::size_t space);
  // Takes what the readiness watch read.
  void take_watched();

  boost::asio::ip::tcp::socket socket_;
  Connection connection_;
  // A read that failed; poll() reports it.
  std::optional<Error> read_error_;
  // The socket may hold unread bytes, so poll() reads at once instead of leaving it to a wait.
  bool readable_ = true;
  // Shared with the armed wait, which may end after the stream is gone.
  std::shared_ptr<ReadWatch> watch_;
};

}  // namespace tarnvale::websocket
