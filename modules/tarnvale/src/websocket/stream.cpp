#include "websocket/stream.hpp"

#include <array>
#include <optional>
#include <random>
#include <utility>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/deferred.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/experimental/parallel_group.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>

#include "websocket/core/accept_key.hpp"
#include "websocket/core/client_handshake.hpp"
#include "websocket/core/server_handshake.hpp"

namespace tarnvale::websocket {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

constexpr auto kTuple = asio::as_tuple(asio::use_awaitable);

Error io_error(const boost::system::error_code& ec) {
  if (ec.category() == boost::system::system_category()) return Error::io(ec.value());
  return Error::io(ec.message());
}

asio::const_buffer buffer_of(std::string_view bytes) { return asio::buffer(bytes.data(), bytes.size()); }

std::string host_of(const tcp::socket& socket) {
  boost::system::error_code ec;
  const auto peer = socket.remote_endpoint(ec);
  if (ec) return "localhost";
  const std::string address = peer.address().to_string();
  const std::string port = std::to_string(peer.port());
  return peer.address().is_v6() ? "[" + address + "]:" + port : address + ":" + port;
}

// Reads the peer's handshake head in reads of at most 4096 bytes until `handshake` yields what
// follows it: the response to write, or the bytes behind the response.
template <class Handshake>
asio::awaitable<Result<std::string, Error>> read_handshake(tcp::socket& socket, Handshake& handshake) {
  for (;;) {
    const auto space = handshake.read_space();
    auto [ec, n] = co_await socket.async_read_some(asio::buffer(space.data(), space.size()), kTuple);
    if (ec == asio::error::eof) co_return unexpected(Handshake::end_of_input());
    if (ec) co_return unexpected(io_error(ec));
    auto done = handshake.commit(n);
    if (!done) co_return unexpected(std::move(done).error());
    if (*done) co_return std::move(**done);
  }
}

}  // namespace

Stream::Stream(tcp::socket socket, Connection connection)
    : socket_(std::move(socket)), connection_(std::move(connection)) {
  // A direct read or write on socket() reports "would block" instead of stalling the thread.
  boost::system::error_code ec;
  socket_.non_blocking(true, ec);
}

asio::awaitable<Result<Stream, Error>> Stream::accept(tcp::socket socket) {
  // On the heap: the parser is large, and the coroutine frame stays small.
  const auto handshake = std::make_unique<ServerHandshake>();
  auto response = co_await read_handshake(socket, *handshake);
  if (!response) co_return unexpected(std::move(response).error());
  auto [ec, written] = co_await asio::async_write(socket, buffer_of(*response), kTuple);
  if (ec) co_return unexpected(io_error(ec));
  co_return Stream(std::move(socket), Connection(Role::server));
}

asio::awaitable<Result<Stream, Error>> Stream::connect(tcp::socket socket, std::string_view target) {
  std::random_device random;
  std::array<unsigned char, 16> nonce;
  for (auto& byte : nonce) byte = static_cast<unsigned char>(random());
  auto handshake = std::make_unique<ClientHandshake>(host_of(socket), target, base64_encode(nonce));
  return connect_with(std::move(socket), std::move(handshake));
}

asio::awaitable<Result<Stream, Error>> Stream::connect_with(tcp::socket socket,
                                                            std::unique_ptr<ClientHandshake> handshake) {
  auto [ec, written] = co_await asio::async_write(socket, buffer_of(handshake->request()), kTuple);
  if (ec) co_return unexpected(io_error(ec));
  auto leftover = co_await read_handshake(socket, *handshake);
  if (!leftover) co_return unexpected(std::move(leftover).error());
  std::random_device random;
  Connection connection(Role::client, (std::uint64_t{random()} << 32) | random());
  connection.feed(*leftover);
  co_return Stream(std::move(socket), std::move(connection));
}

Result<std::optional<Event>, Error> Stream::poll() {
  auto event = connection_.next_event();
  if (!event || *event) return event;
  if (!read_error_ && peer_active_ && connection_.needs_input()) {
    const auto space = connection_.input_space();
    boost::system::error_code ec;
    const std::size_t n = socket_.read_some(asio::buffer(space.data(), space.size()), ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again) {
      peer_active_ = false;
      return event;
    }
    take_read(ec, n);
    if (!read_error_) return connection_.next_event();
  }
  if (!read_error_) return event;
  connection_.mark_failed();
  return unexpected(*std::exchange(read_error_, std::nullopt));
}

asio::awaitable<void> Stream::wait_readable() {
  if (!connection_.needs_input() || read_error_) co_return;
  const auto space = connection_.input_space();
  auto [ec, n] = co_await socket_.async_read_some(asio::buffer(space.data(), space.size()), kTuple);
  take_read(ec, n);
}

asio::awaitable<void> Stream::wait_readable_or(asio::steady_timer& wake) {
  if (!connection_.needs_input() || read_error_) co_return;
  const auto space = connection_.input_space();
  // The group ends when the first side completes, after the other has been cancelled and has
  // completed too, so a read that finished meanwhile still hands over its bytes.
  auto [order, ec, n, woken] =
      co_await asio::experimental::make_parallel_group(
          socket_.async_read_some(asio::buffer(space.data(), space.size()), asio::deferred),
          wake.async_wait(asio::deferred))
          .async_wait(asio::experimental::wait_for_one(), asio::use_awaitable);
  take_read(ec, n);
}

void Stream::take_read(const boost::system::error_code& ec, std::size_t n) {
  if (ec == asio::error::operation_aborted) return;  // abandoned before anything came
  if (ec == asio::error::eof) {
    connection_.end_of_input();
  } else if (ec) {
    read_error_ = io_error(ec);
  } else {
    connection_.commit_input(n);
    peer_active_ = true;
  }
}

asio::awaitable<Result<Event, Error>> Stream::next() {
  for (;;) {
    auto event = poll();
    if (!event) co_return unexpected(std::move(event).error());
    if (*event) co_return std::move(**event);
    co_await wait_readable();
  }
}

asio::awaitable<Result<void, Error>> Stream::send_text(std::string text) {
  return send_message(Opcode::text, std::move(text));
}

asio::awaitable<Result<void, Error>> Stream::send_binary(std::string payload) {
  return send_message(Opcode::binary, std::move(payload));
}

asio::awaitable<Result<void, Error>> Stream::send_ping(std::string_view payload) {
  return flush_after(connection_.queue_ping(payload));
}

asio::awaitable<Result<void, Error>> Stream::close(std::uint16_t code, std::string_view reason) {
  return flush_after(connection_.queue_close(code, reason));
}

asio::awaitable<Result<void, Error>> Stream::flush_after(Result<void, Error> queued) {
  if (!queued) co_return queued;
  co_return co_await write_control();
}

asio::awaitable<Result<void, Error>> Stream::flush() {
  if (connection_.state() == ConnectionState::failed) co_return unexpected(Error::already_closed());
  co_return co_await write_control();
}

asio::awaitable<Result<void, Error>> Stream::write_control() {
  if (!connection_.has_queued_control()) co_return Result<void, Error>();
  const auto control = connection_.queued_control();
  const std::array<asio::const_buffer, 3> buffers = {buffer_of(control[0]), buffer_of(control[1]),
                                                     buffer_of(control[2])};
  co_return co_await write_frames(buffers);
}

asio::awaitable<Result<void, Error>> Stream::send_message(Opcode opcode, std::string payload) {
  auto header = connection_.frame_message(opcode, payload);
  if (!header) co_return unexpected(std::move(header).error());
  const auto control = connection_.queued_control();
  const std::array<asio::const_buffer, 5> buffers = {
      buffer_of(control[0]), buffer_of(control[1]), buffer_of(control[2]), buffer_of(header->view()),
      asio::buffer(payload)};
  co_return co_await write_frames(buffers);
}

asio::awaitable<Result<void, Error>> Stream::write_frames(std::span<const asio::const_buffer> buffers) {
  auto [ec, n] = co_await asio::async_write(socket_, buffers, kTuple);
  if (ec) {
    connection_.mark_failed();
    co_return unexpected(io_error(ec));
  }
  connection_.control_written();
  co_return Result<void, Error>();
}

}  // namespace tarnvale::websocket
