#include "e2e/service_client.hpp"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <thread>
#include <variant>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>

namespace tarnvale::e2e {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using Sent = Result<void, websocket::Error>;

namespace {

constexpr std::chrono::milliseconds kSendDeadline{5000};

void rethrow(std::exception_ptr e) {
  if (e) std::rethrow_exception(e);
}

std::string render(websocket::Event event) {
  if (auto* text = std::get_if<websocket::Text>(&event)) return std::string(text->payload.view());
  if (auto* close = std::get_if<websocket::Close>(&event)) {
    if (!close->code) return "close";
    return "close " + std::to_string(*close->code) + " " + close->reason;
  }
  if (auto* pong = std::get_if<websocket::Pong>(&event)) return "pong " + pong->payload;
  if (auto* ping = std::get_if<websocket::Ping>(&event)) return "ping " + ping->payload;
  if (std::holds_alternative<websocket::Binary>(event)) return "binary";
  return "end";
}

asio::awaitable<void> next_within(websocket::Stream* stream, std::chrono::milliseconds timeout,
                                  std::shared_ptr<std::optional<std::string>> out) {
  using namespace asio::experimental::awaitable_operators;
  asio::steady_timer timer(co_await asio::this_coro::executor, timeout);
  for (;;) {
    auto polled = stream->poll();
    if (!polled) {
      out->emplace("error: " + polled.error().display());
      co_return;
    }
    if (*polled) {
      out->emplace(render(std::move(**polled)));
      co_return;
    }
    auto woken = co_await (stream->wait_readable() || timer.async_wait(asio::use_awaitable));
    if (woken.index() == 1) {
      out->emplace("timeout");
      co_return;
    }
  }
}

asio::awaitable<Sent> write_raw(tcp::socket* socket, std::string bytes) {
  auto [ec, n] = co_await asio::async_write(*socket, asio::buffer(bytes), asio::as_tuple(asio::use_awaitable));
  if (ec) co_return unexpected(websocket::Error::io(ec.value()));
  co_return Sent{};
}

asio::awaitable<void> send_into(asio::awaitable<Sent> send, std::shared_ptr<std::optional<Sent>> out) {
  out->emplace(co_await std::move(send));
}

tcp::endpoint service_endpoint() { return {asio::ip::address_v4::loopback(), kServicePort}; }

}  // namespace

int connect_tcp() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(kServicePort);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

struct ServiceClient::Handshake {
  std::optional<Result<websocket::Stream, websocket::Error>> result;
};

ServiceClient::ServiceClient(int receive_buffer) : handshake_(std::make_shared<Handshake>()) {
  tcp::socket socket(io_, tcp::v4());
  if (receive_buffer > 0) socket.set_option(tcp::socket::receive_buffer_size(receive_buffer));
  socket.connect(service_endpoint());
  local_port_ = socket.local_endpoint().port();
  asio::co_spawn(
      io_,
      [](tcp::socket socket, std::shared_ptr<Handshake> out) -> asio::awaitable<void> {
        out->result.emplace(co_await websocket::Stream::connect(std::move(socket), "/any/path?with=query"));
      }(std::move(socket), handshake_),
      rethrow);
}

ServiceClient::~ServiceClient() = default;

template <class Done>
bool ServiceClient::run_until(Done done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    io_.restart();
    io_.run_one_until(deadline);
  }
  return true;
}

bool ServiceClient::open(std::chrono::milliseconds timeout) {
  if (stream_) return true;
  if (!run_until([this] { return handshake_->result.has_value(); }, timeout)) return false;
  if (!*handshake_->result) return false;
  stream_.emplace(std::move(*handshake_->result).value());
  return true;
}

bool ServiceClient::run_send(asio::awaitable<Sent> send) {
  auto out = std::make_shared<std::optional<Sent>>();
  asio::co_spawn(io_, send_into(std::move(send), out), rethrow);
  if (!run_until([&out] { return out->has_value(); }, kSendDeadline)) {
    stuck_ = true;
    return false;
  }
  return out->value().has_value();
}

bool ServiceClient::send_text(std::string text) {
  return stream_ && !stuck_ && run_send(stream_->send_text(std::move(text)));
}
bool ServiceClient::send_binary(std::string payload) {
  return stream_ && !stuck_ && run_send(stream_->send_binary(std::move(payload)));
}
bool ServiceClient::send_ping(std::string_view payload) {
  return stream_ && !stuck_ && run_send(stream_->send_ping(payload));
}
bool ServiceClient::close(std::uint16_t code, std::string_view reason) {
  return stream_ && !stuck_ && run_send(stream_->close(code, reason));
}
bool ServiceClient::send_raw(std::string bytes) {
  return stream_ && !stuck_ && run_send(write_raw(&stream_->socket(), std::move(bytes)));
}

std::string ServiceClient::next(std::chrono::milliseconds timeout) {
  if (!stream_ || stuck_) return "error: not open";
  auto out = std::make_shared<std::optional<std::string>>();
  asio::co_spawn(io_, next_within(&*stream_, timeout, out), rethrow);
  if (!run_until([&out] { return out->has_value(); }, timeout + kSendDeadline)) {
    stuck_ = true;
    return "timeout";
  }
  return std::move(**out);
}

std::string ServiceClient::next_reply(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    std::string got = next(std::max(left, std::chrono::milliseconds(0)));
    if (got.find(R"("type":"DataUpdate")") == std::string::npos) return got;
  }
}

TcpEnd ServiceClient::tcp_end(std::chrono::milliseconds timeout) {
  if (!stream_) return TcpEnd::open;
  const int fd = stream_->socket().native_handle();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    char chunk[4096];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n == 0) {
      // A reset that answers bytes the client sent last comes after the end of the stream;
      // it leaves its error pending on the socket.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      int error = 0;
      socklen_t len = sizeof error;
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
      return error == 0 ? TcpEnd::orderly : TcpEnd::reset;
    }
    if (n < 0 && errno != EAGAIN) return TcpEnd::reset;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return TcpEnd::open;
    if (n < 0) {
      pollfd p{fd, POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(left.count()));
    }
  }
}

void ServiceClient::drop() {
  if (stream_) {
    boost::system::error_code ignored;
    stream_->socket().close(ignored);
  }
}

std::string request(std::string_view type, std::string_view path) {
  return R"({"uuid":"6f1c2b1e-2d1a-4c8e-9a55-0d4c2b7a9e01","type":")" + std::string(type) +
         R"(","body":{"path":")" + std::string(path) + R"("}})";
}

}  // namespace tarnvale::e2e
