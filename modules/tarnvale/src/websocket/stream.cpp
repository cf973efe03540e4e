#include "websocket/stream.hpp"

#include <limits.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>
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

iovec part_of(std::string_view bytes) { return {const_cast<char*>(bytes.data()), bytes.size()}; }
iovec part_of(const EncodedHeader& header) { return part_of(header.view()); }

// Writes `parts` as far as the socket takes them without waiting, IOV_MAX parts per call,
// and drops what went out from the front of `parts`: what is left the socket did not take.
boost::system::error_code write_now(int fd, std::span<iovec>& parts) {
  for (;;) {
    while (!parts.empty() && parts.front().iov_len == 0) parts = parts.subspan(1);
    if (parts.empty()) return {};
    msghdr message{};
    message.msg_iov = parts.data();
    message.msg_iovlen = std::min<std::size_t>(parts.size(), IOV_MAX);
    std::size_t offered = 0;
    for (std::size_t i = 0; i < message.msg_iovlen; ++i) offered += parts[i].iov_len;
    const ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return {};
      return {errno, boost::system::system_category()};
    }
    auto left = static_cast<std::size_t>(sent);
    while (!parts.empty() && parts.front().iov_len <= left) {
      left -= parts.front().iov_len;
      parts = parts.subspan(1);
    }
    if (left != 0) {
      parts.front().iov_base = static_cast<char*>(parts.front().iov_base) + left;
      parts.front().iov_len -= left;
    }
    if (static_cast<std::size_t>(sent) < offered) return {};  // the socket is full
  }
}

// A refusal before anything was written: nothing changes on the connection.
asio::awaitable<Result<void, Error>> refused(Error error) { co_return unexpected(std::move(error)); }

// The parts and frame headers of one gathered write, shared by the thread's streams: they are
// used up before the write that takes them returns.
struct GatherSpace {
  std::vector<EncodedHeader> headers;
  std::vector<iovec> parts;
};

GatherSpace& gather_space() {
  thread_local GatherSpace space;
  return space;
}

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
    if (ec == asio::error::eof) co_return unexpected(handshake.end_of_input());
    if (ec) co_return unexpected(io_error(ec));
    auto done = handshake.commit(n);
    if (!done) co_return unexpected(std::move(done).error());
    if (*done) co_return std::move(**done);
  }
}

}  // namespace

// What a readiness watch shares with its stream, whose end leaves it to the watch. The watch
// is a read of a few bytes rather than a bare wait, which would cost an epoll_ctl each time:
// a request as small as most are comes in whole with it.
struct Stream::ReadWatch {
  platform::Waker* waker = nullptr;
  bool armed = false;
  // The read has ended: what it brought, or the end of input or the error that ended it, is
  // for poll() to take.
  bool ended = false;
  boost::system::error_code ec;
  std::size_t size = 0;
  std::array<unsigned char, 256> bytes;
};

Stream::Stream(tcp::socket socket, Connection connection)
    : socket_(std::move(socket)), connection_(std::move(connection)) {
  // A direct read or write on socket() reports "would block" instead of stalling the thread.
  boost::system::error_code ec;
  socket_.non_blocking(true, ec);
}

asio::awaitable<Result<Stream, Error>> Stream::accept(tcp::socket socket, std::shared_ptr<InputBudget> budget) {
  // When another connection's input ends this one for the budget, the socket is shut down:
  // whatever the connection waits for ends at once, and it reports the budget's refusal.
  const auto end_socket = [fd = socket.native_handle()] { ::shutdown(fd, SHUT_RDWR); };
  // On the heap, so that the coroutine frame stays small.
  auto handshake = std::make_unique<ServerHandshake>(budget);
  handshake->input_account().on_ended(end_socket);
  auto response = co_await read_handshake(socket, *handshake);
  if (!response) co_return unexpected(std::move(response).error());
  // The request is read: what it held goes back before the response is written.
  handshake.reset();
  auto [ec, written] = co_await asio::async_write(socket, buffer_of(*response), kTuple);
  if (ec) co_return unexpected(io_error(ec));
  Connection connection(Role::server, 0, std::move(budget));
  connection.input_account().on_ended(end_socket);
  co_return Stream(std::move(socket), std::move(connection));
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
  if (watch_ && watch_->ended) {
    take_watched();
    if (!read_error_) return connection_.next_event();
  } else if (!read_error_ && readable_ && connection_.needs_input()) {
    const auto space = connection_.input_space();
    boost::system::error_code ec;
    const std::size_t n = socket_.read_some(asio::buffer(space.data(), space.size()), ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again) {
      readable_ = false;
      return event;
    }
    take_read(ec, n, space.size());
    if (!read_error_) return connection_.next_event();
  }
  if (!read_error_) return event;
  connection_.mark_failed();
  return unexpected(*std::exchange(read_error_, std::nullopt));
}

void Stream::take_watched() {
  watch_->ended = false;
  if (!watch_->ec) {
    const auto space = connection_.input_space();
    std::memcpy(space.data(), watch_->bytes.data(), watch_->size);
  }
  take_read(watch_->ec, watch_->size, watch_->bytes.size());
}

Stream::~Stream() { forget_waker(); }

Stream& Stream::operator=(Stream&& other) noexcept {
  forget_waker();
  socket_ = std::move(other.socket_);
  connection_ = std::move(other.connection_);
  read_error_ = std::move(other.read_error_);
  readable_ = other.readable_;
  watch_ = std::move(other.watch_);
  return *this;
}

void Stream::forget_waker() {
  // A wait that has ended but whose handler has not run yet must not ring the waker.
  if (watch_) watch_->waker = nullptr;
}

void Stream::expect_input() {
  if (!watch_ || !watch_->armed) readable_ = true;
}

bool Stream::readable() const { return readable_ && !read_error_ && connection_.needs_input(); }

void Stream::wake_when_readable(platform::Waker& waker) {
  if (!watch_) watch_ = std::make_shared<ReadWatch>();
  watch_->waker = &waker;
  if (watch_->armed || watch_->ended) return;
  watch_->armed = true;
  // The reactor tries the read at once, so input that came before the watch is not missed.
  socket_.async_read_some(asio::buffer(watch_->bytes),
                          [watch = watch_](const boost::system::error_code& ec, std::size_t n) {
                            watch->armed = false;
                            if (ec == asio::error::operation_aborted) return;  // the socket is closed or given up
                            watch->ended = true;
                            watch->ec = ec;
                            watch->size = n;
                            if (watch->waker) watch->waker->wake();
                          });
}

asio::awaitable<void> Stream::wait_readable() {
  if (!connection_.needs_input() || read_error_) co_return;
  // A peek tells whether input is there already: its readiness may have been reported
  // while nobody waited.
  char byte;
  const ssize_t peeked = ::recv(socket_.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  if (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
    auto [ec] = co_await socket_.async_wait(tcp::socket::wait_read, kTuple);
    if (ec == asio::error::operation_aborted) co_return;  // abandoned: nothing changes
  }
  readable_ = true;
}

void Stream::take_read(const boost::system::error_code& ec, std::size_t n, std::size_t space) {
  if (ec == asio::error::eof) {
    connection_.end_of_input();
  } else if (ec) {
    read_error_ = io_error(ec);
  } else {
    connection_.commit_input(n);
    // A read that leaves room took all the socket held.
    readable_ = n == space;
  }
}

tcp::socket Stream::release_socket() && {
  if (watch_) {
    forget_waker();
    boost::system::error_code ec;
    socket_.cancel(ec);
  }
  return std::move(socket_);
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
  if (!queued) return refused(std::move(queued).error());
  return write_control();
}

asio::awaitable<Result<void, Error>> Stream::flush() {
  if (connection_.state() == ConnectionState::failed) return refused(Error::already_closed());
  return write_control();
}

asio::awaitable<Result<void, Error>> Stream::write_control() {
  const auto control = connection_.queued_control();
  std::array<iovec, 3> parts = {part_of(control[0]), part_of(control[1]), part_of(control[2])};
  return write_parts(parts);
}

asio::awaitable<Result<void, Error>> Stream::send_message(Opcode opcode, std::string payload) {
  auto header = connection_.frame_message(opcode, payload);
  if (!header) return refused(std::move(header).error());
  const auto control = connection_.queued_control();
  std::array<iovec, 5> parts = {part_of(control[0]), part_of(control[1]), part_of(control[2]), part_of(*header),
                                part_of(payload)};
  return write_parts(parts, &payload);
}

asio::awaitable<Result<void, Error>> Stream::send_texts(std::span<const TextParts> texts) {
  auto& space = gather_space();
  space.headers.clear();
  for (const auto& text : texts) {
    auto header = connection_.frame_unmasked(Opcode::text, text.first.size() + text.second.size());
    if (!header) return refused(std::move(header).error());
    space.headers.push_back(*header);
  }
  const auto control = connection_.queued_control();
  space.parts.assign({part_of(control[0]), part_of(control[1]), part_of(control[2])});
  for (std::size_t i = 0; i < texts.size(); ++i) {
    space.parts.push_back(part_of(space.headers[i]));
    space.parts.push_back(part_of(texts[i].first));
    space.parts.push_back(part_of(texts[i].second));
  }
  return write_parts(space.parts);
}

asio::awaitable<Result<void, Error>> Stream::write_parts(std::span<iovec> parts, std::string* payload) {
  const auto ec = write_now(socket_.native_handle(), parts);
  if (ec) return finish_write(unexpected(io_error(ec)));
  if (parts.empty()) return finish_write(std::string());
  // What is left is only the payload's end: the payload itself holds it.
  if (payload != nullptr && !payload->empty() && parts.size() == 1) {
    payload->erase(0, payload->size() - parts.front().iov_len);
    return finish_write(std::move(*payload));
  }
  std::size_t size = 0;
  for (const auto& part : parts) size += part.iov_len;
  std::string rest;
  rest.reserve(size);
  for (const auto& part : parts) rest.append(static_cast<const char*>(part.iov_base), part.iov_len);
  return finish_write(std::move(rest));
}

asio::awaitable<Result<void, Error>> Stream::finish_write(Result<std::string, Error> rest) {
  if (rest && !rest->empty()) {
    auto [ec, n] = co_await asio::async_write(socket_, asio::buffer(*rest), kTuple);
    if (ec) rest = unexpected(io_error(ec));
  } else if (connection_.role() == Role::client) {
    // A client's write ends with a turn through the runtime, as Asio's own writes do, so that
    // the reactor looks at the sockets before the client goes on.
    co_await asio::post(socket_.get_executor(), asio::use_awaitable);
  }
  if (!rest) {
    // A write that the budget's end of the connection cut short fails for that reason.
    const auto& account = connection_.input_account();
    if (account.ended()) rest = unexpected(account.refusal());
    connection_.mark_failed();
    co_return unexpected(std::move(rest).error());
  }
  connection_.control_written();
  co_return Result<void, Error>();
}

}  // namespace tarnvale::websocket
