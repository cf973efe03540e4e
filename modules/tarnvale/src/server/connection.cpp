#include "server/connection.hpp"

#include <cstdint>
#include <optional>
#include <random>
#include <variant>

#include <boost/asio/post.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "protocol/codes.hpp"
#include "server/lingering_close.hpp"
#include "server/request_handling.hpp"
#include "server/subscriptions.hpp"
#include "server/update_pass.hpp"

namespace tarnvale::server {

namespace asio = boost::asio;

namespace {

using Done = Result<ConnectionEnd, websocket::Error>;

// Passes in a row after which the loop gives way to the other tasks. A client that always
// has input ready and needs no answer (a stream of pongs) would otherwise never let the
// sampler, the listener or another connection run.
constexpr int kPassBudget = 128;

// What one pass took: a client event, or an event of the tick receiver.
using Taken = std::variant<std::monostate, websocket::Event, tree::TickEvent>;

// Sends a server close and ends the connection: success once the close frame is flushed.
asio::awaitable<std::optional<Done>> close_with(websocket::Stream& stream, protocol::CloseFrame frame) {
  auto closed = co_await stream.close(frame.code, frame.reason);
  if (!closed) co_return Done(unexpected(std::move(closed).error()));
  co_return ConnectionEnd::close_sent;
}

// Acts on one client event. None: go on with the next pass; otherwise the connection's end.
asio::awaitable<std::optional<Done>> on_event(websocket::Stream& stream, const tree::DataStore& store,
                                              Subscriptions& subscriptions, websocket::Event event) {
  if (auto* text = std::get_if<websocket::Text>(&event)) {
    auto keep = co_await handle_text_request(stream, store, subscriptions, text->payload);
    if (!keep) co_return Done(unexpected(std::move(keep).error()));
    if (!*keep) co_return ConnectionEnd::close_sent;
    co_return std::nullopt;
  }
  if (std::holds_alternative<websocket::Binary>(event)) {
    co_return co_await close_with(stream, protocol::kCloseBinaryMessage);
  }
  // The stream ends only after a completed closing handshake.
  if (std::holds_alternative<websocket::End>(event)) co_return ConnectionEnd::close_sent;
  // A ping's pong, or a client close's answer, was queued while reading: send it.
  auto flushed = co_await stream.flush();
  if (!flushed) co_return Done(unexpected(std::move(flushed).error()));
  if (std::holds_alternative<websocket::Close>(event)) co_return ConnectionEnd::close_sent;
  co_return std::nullopt;
}

// Acts on one result of the tick receiver.
asio::awaitable<std::optional<Done>> on_tick(websocket::Stream& stream, const tree::DataStore& store,
                                             const Subscriptions& subscriptions, tree::TickEvent event) {
  if (std::holds_alternative<tree::TickLagged>(event)) {
    co_return co_await close_with(stream, protocol::kCloseLagged);
  }
  if (std::holds_alternative<tree::TickClosed>(event)) co_return ConnectionEnd::no_close;
  auto published = co_await publish_updates(stream, store, subscriptions);
  if (!published) co_return Done(unexpected(std::move(published).error()));
  co_return std::nullopt;
}

}  // namespace

asio::awaitable<Done> serve_connection(websocket::Stream& stream, tree::DataStore store) {
  auto ticks = store.subscribe_ticks();
  Subscriptions subscriptions;
  // Which of the two waits is looked at first is chosen afresh, fairly, at every look.
  std::minstd_rand coin(std::random_device{}());
  const auto executor = co_await asio::this_coro::executor;
  int passes = 0;

  for (;;) {
    if (++passes == kPassBudget) {
      passes = 0;
      co_await asio::post(executor, asio::use_awaitable);
    }
    Taken taken;
    const bool ticks_first = (coin() & 1) != 0;
    for (int look = 0; look < 2 && std::holds_alternative<std::monostate>(taken); ++look) {
      if ((look == 0) == ticks_first) {
        if (auto tick = ticks.try_recv()) taken = *tick;
      } else {
        auto polled = stream.poll();
        if (!polled) co_return Done(unexpected(std::move(polled).error()));
        if (*polled) taken = std::move(**polled);
      }
    }
    if (std::holds_alternative<std::monostate>(taken)) {
      // Neither is ready: sleep until one can make progress. What a read brings in stays in
      // the stream and an unreceived tick stays in the receiver, so the side that loses the
      // race loses nothing.
      co_await stream.wait_readable_or(ticks.wake_timer());
      continue;
    }
    std::optional<Done> end;
    if (auto* event = std::get_if<websocket::Event>(&taken)) {
      end = co_await on_event(stream, store, subscriptions, std::move(*event));
    } else {
      end = co_await on_tick(stream, store, subscriptions, std::get<tree::TickEvent>(taken));
    }
    if (end) co_return std::move(*end);
  }
}

asio::awaitable<Result<void, websocket::Error>> handle_connection(asio::ip::tcp::socket socket, tree::DataStore store) {
  auto accepted = co_await websocket::Stream::accept(std::move(socket));
  if (!accepted) co_return unexpected(std::move(accepted).error());
  auto ended = co_await serve_connection(*accepted, std::move(store));
  if (!ended) co_return unexpected(std::move(ended).error());
  if (*ended == ConnectionEnd::close_sent) {
    // Closing at once, with client input unread or still to come, makes the kernel answer
    // with a reset, which destroys the close frame and whatever was queued before it.
    close_lingering(std::move(*accepted).release_socket());
  }
  co_return Result<void, websocket::Error>();
}

}  // namespace tarnvale::server
