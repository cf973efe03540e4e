// Test support: a server and a client WebSocket stream connected over loopback, and a way to
// run a coroutine test body to its end.
#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <utility>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <gtest/gtest.h>

#include "websocket/stream.hpp"

namespace tarnvale::server::testing {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

struct StreamPair {
  std::optional<websocket::Stream> server;
  std::optional<websocket::Stream> client;
};

inline asio::awaitable<StreamPair> connected_streams() {
  auto ex = co_await asio::this_coro::executor;
  tcp::acceptor acceptor(ex, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  tcp::socket client_socket(ex);
  co_await client_socket.async_connect(acceptor.local_endpoint(), asio::use_awaitable);
  tcp::socket server_socket = co_await acceptor.async_accept(asio::use_awaitable);

  using Accepted = std::optional<Result<websocket::Stream, websocket::Error>>;
  auto accepted = std::make_shared<Accepted>();
  asio::co_spawn(
      ex,
      [](tcp::socket socket, std::shared_ptr<Accepted> out) -> asio::awaitable<void> {
        out->emplace(co_await websocket::Stream::accept(std::move(socket)));
      }(std::move(server_socket), accepted),
      [](std::exception_ptr e) {
        if (e) std::rethrow_exception(e);
      });
  auto connected = co_await websocket::Stream::connect(std::move(client_socket), "/");
  while (!accepted->has_value()) co_await asio::post(ex, asio::use_awaitable);
  StreamPair pair;
  if (!connected || !**accepted) {
    ADD_FAILURE() << "handshake failed";
    co_return pair;
  }
  pair.server.emplace(std::move(**accepted).value());
  pair.client.emplace(std::move(connected).value());
  co_return pair;
}

// Runs `body` on `io` until it and everything it started have finished; rethrows its fault.
template <class Awaitable>
void run_test(asio::io_context& io, Awaitable body) {
  std::exception_ptr fault;
  asio::co_spawn(io, std::move(body), [&fault](std::exception_ptr e) { fault = e; });
  io.run();
  if (fault) std::rethrow_exception(fault);
}

// The next text message the client receives, or a description of what came instead.
inline asio::awaitable<std::string> next_text(websocket::Stream& client) {
  auto event = co_await client.next();
  if (!event) co_return "error: " + event.error().display();
  if (auto* text = std::get_if<websocket::Text>(&*event)) co_return std::string(text->payload.view());
  if (auto* close = std::get_if<websocket::Close>(&*event)) {
    co_return "close " + std::to_string(close->code.value_or(0)) + " " + close->reason;
  }
  co_return "other event";
}

}  // namespace tarnvale::server::testing
