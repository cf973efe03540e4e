#include "server/detail/connection.hpp"

#include <cstdint>
#include <random>
#include <utility>
#include <variant>

#include <boost/asio/post.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "protocol/codes.hpp"
#include "server/detail/lingering_close.hpp"
#include "server/detail/request_handling.hpp"
#include "server/detail/subscriptions.hpp"
#include "server/detail/update_pass.hpp"
#include "server/detail/wakeup.hpp"

namespace tarnvale::server {

namespace asio = boost::asio;

namespace {

// Passes in a row after which the loop gives way to the other tasks. A client that always
// has input ready and needs no answer (a stream of pongs) would otherwise never let the
// sampler, the listener or another connection run.
constexpr int kPassBudget = 128;

// What one pass took: a client event, or an event of the tick receiver.
using Taken = std::variant<std::monostate, websocket::Event, tree::TickEvent>;

// The stream rings no wake-up that is gone: one that outlives the loop forgets it.
class ForgetWaker {
 public:
  explicit ForgetWaker(websocket::Stream& stream) : stream_(stream) {}
  ~ForgetWaker() { stream_.forget_waker(); }
  ForgetWaker(const ForgetWaker&) = delete;
  ForgetWaker& operator=(const ForgetWaker&) = delete;

 private:
  websocket::Stream& stream_;
};

// The step after `sent`: `then`, or the error of the failed send.
StepResult after(Result<void, websocket::Error> sent, Step then) {
  if (!sent) return unexpected(std::move(sent).error());
  return then;
}

// Acts on one client event.
asio::awaitable<StepResult> on_event(websocket::Stream& stream, const tree::DataStore& store,
                                     Subscriptions& subscriptions, websocket::Event event) {
  if (auto* text = std::get_if<websocket::Text>(&event)) {
    co_return co_await handle_text_request(stream, store, subscriptions, std::move(text->payload));
  }
  if (std::holds_alternative<websocket::Binary>(event)) {
    const auto& close = protocol::kCloseBinaryMessage;
    co_return after(co_await stream.close(close.code, close.reason), Step::closed);
  }
  // The stream ends only after a completed closing handshake.
  if (std::holds_alternative<websocket::End>(event)) co_return Step::closed;
  // A ping's pong, or a client close's answer, was queued while reading: send it.
  const bool closing = std::holds_alternative<websocket::Close>(event);
  co_return after(co_await stream.flush(), closing ? Step::closed : Step::next);
}

// Acts on one result of the tick receiver.
asio::awaitable<StepResult> on_tick(websocket::Stream& stream, const tree::DataStore& store,
                                    const Subscriptions& subscriptions, tree::TickEvent event) {
  if (std::holds_alternative<tree::TickLagged>(event)) {
    const auto& close = protocol::kCloseLagged;
    co_return after(co_await stream.close(close.code, close.reason), Step::closed);
  }
  if (std::holds_alternative<tree::TickClosed>(event)) co_return Step::ended;
  co_return after(co_await publish_updates(stream, store, subscriptions), Step::next);
}

}  // namespace

asio::awaitable<StepResult> serve_connection(websocket::Stream& stream, tree::DataStore store) {
  const auto executor = co_await asio::this_coro::executor;
  // Rung by the next tick and by the socket's readiness, which stays watched across ticks.
  Wakeup wakeup(executor);
  const ForgetWaker forget(stream);
  auto ticks = store.subscribe_ticks();
  Subscriptions subscriptions;
  // Which of the two waits is looked at first is chosen afresh, fairly, at every look.
  std::minstd_rand coin(std::random_device{}());
  int passes = 0;
  bool answered = false;

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
        if (!polled) co_return unexpected(std::move(polled).error());
        if (*polled) taken = std::move(**polled);
      }
    }
    if (std::holds_alternative<std::monostate>(taken)) {
      if (stream.readable()) {
        // Part of a large message came in and more waits in the socket: read on after the
        // other tasks had their turn.
        co_await asio::post(executor, asio::use_awaitable);
        continue;
      }
      if (std::exchange(answered, false)) {
        // A client that waits for an answer sends its next request soon after it: looked for
        // after the other tasks had their turn, it is usually there already.
        co_await asio::post(executor, asio::use_awaitable);
        stream.expect_input();
        continue;
      }
      // Neither is ready: sleep until one can make progress. Being woken takes nothing from
      // either side, so the side that loses the next look loses nothing.
      ticks.wake_on_tick(wakeup);
      stream.wake_when_readable(wakeup);
      co_await wakeup.sleep();
      continue;
    }
    StepResult step = Step::next;
    if (auto* event = std::get_if<websocket::Event>(&taken)) {
      step = co_await on_event(stream, store, subscriptions, std::move(*event));
      answered = true;
    } else {
      step = co_await on_tick(stream, store, subscriptions, std::get<tree::TickEvent>(taken));
    }
    if (!step || *step != Step::next) co_return step;
  }
}

asio::awaitable<Result<void, websocket::Error>> handle_connection(asio::ip::tcp::socket socket, tree::DataStore store,
                                                                 std::shared_ptr<websocket::InputBudget> budget) {
  auto accepted = co_await websocket::Stream::accept(std::move(socket), std::move(budget));
  if (!accepted) co_return unexpected(std::move(accepted).error());
  auto ended = co_await serve_connection(*accepted, std::move(store));
  if (!ended) co_return unexpected(std::move(ended).error());
  if (*ended == Step::closed) {
    // Closing at once, with client input unread or still to come, makes the kernel answer
    // with a reset, which destroys the close frame and whatever was queued before it.
    close_lingering(std::move(*accepted).release_socket());
  }
  co_return Result<void, websocket::Error>();
}

}  // namespace tarnvale::server
