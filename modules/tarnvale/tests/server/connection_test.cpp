// The connection loop over a real WebSocket pair: each message kind, the close codes, ticks,
// the lag report, and the fair choice between a ready message and a ready tick.
#include "server/detail/connection.hpp"

#include <sys/socket.h>
#include <sys/time.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include <boost/asio/detached.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>

#include <gtest/gtest.h>

#include "server/stream_pair.hpp"
#include "websocket/frames.hpp"

namespace tarnvale::server {
namespace {

using namespace testing;
using Done = StepResult;

constexpr const char* kSubscribe =
    R"({"uuid":"00000000-0000-0000-0000-000000000001","type":"SubscribeValue","body":{"path":"system.uptime"}})";
constexpr const char* kGet =
    R"({"uuid":"00000000-0000-0000-0000-000000000002","type":"GetValue","body":["system.uptime"]})";

tree::DataNode system_uptime() {
  tree::DataNode system = tree::DataNode::branch();
  system.insert("uptime", tree::DataNode::leaf(std::uint64_t{42}, tree::kUnitSeconds));
  return system;
}

// Runs the connection loop on the server stream; `*out` holds its result once it ended.
void start_loop(websocket::Stream& server, tree::DataStore store, std::shared_ptr<std::optional<Done>> out) {
  asio::co_spawn(
      server.socket().get_executor(),
      [](websocket::Stream* server, tree::DataStore store, std::shared_ptr<std::optional<Done>> out)
          -> asio::awaitable<void> { out->emplace(co_await serve_connection(*server, std::move(store))); }(
          &server, std::move(store), std::move(out)),
      [](std::exception_ptr e) {
        if (e) std::rethrow_exception(e);
      });
}

asio::awaitable<void> settle(std::shared_ptr<std::optional<Done>> result) {
  auto ex = co_await asio::this_coro::executor;
  for (int i = 0; i < 1000 && !result->has_value(); ++i) co_await asio::post(ex, asio::use_awaitable);
}

// Closes from the client side, reads the answer and lets the connection loop end.
asio::awaitable<void> close_cleanly(websocket::Stream& client, std::shared_ptr<std::optional<Done>> result) {
  EXPECT_TRUE((co_await client.close(1000, "")).has_value());
  co_await next_text(client);
  co_await settle(std::move(result));
}

// Ended without error, after a close frame went out: the socket is left to a lingering close.
bool ended_by_close(const std::shared_ptr<std::optional<Done>>& result) {
  return result->has_value() && (*result)->has_value() && ***result == Step::closed;
}

asio::awaitable<void> message_kinds(tree::DataStore store) {
  // A ping is answered with its payload and the connection goes on; a pong changes nothing.
  {
    auto pair = co_await connected_streams();
    auto result = std::make_shared<std::optional<Done>>();
    start_loop(*pair.server, store, result);
    EXPECT_TRUE((co_await pair.client->send_ping("are you there")).has_value());
    auto pong = co_await pair.client->next();
    EXPECT_TRUE(pong && std::get_if<websocket::Pong>(&*pong) && std::get<websocket::Pong>(*pong).payload == "are you there");
    EXPECT_TRUE((co_await pair.client->send_text(kGet)).has_value());
    EXPECT_NE((co_await next_text(*pair.client)).find("GetValueResponse"), std::string::npos);
    // A client close is echoed with its code and reason, and the connection ends cleanly.
    EXPECT_TRUE((co_await pair.client->close(1000, "bye")).has_value());
    EXPECT_EQ(co_await next_text(*pair.client), "close 1000 bye");
    co_await settle(result);
    EXPECT_TRUE(ended_by_close(result));
  }
  // A binary message is refused with 1003 and the connection ends cleanly.
  {
    auto pair = co_await connected_streams();
    auto result = std::make_shared<std::optional<Done>>();
    start_loop(*pair.server, store, result);
    EXPECT_TRUE((co_await pair.client->send_binary("\x01\x02")).has_value());
    EXPECT_EQ(co_await next_text(*pair.client), "close 1003 tarnvale accepts JSON text messages only");
    co_await settle(result);
    EXPECT_TRUE(ended_by_close(result));
  }
  // A client that drops TCP without a close ends the connection with the protocol error.
  {
    auto pair = co_await connected_streams();
    auto result = std::make_shared<std::optional<Done>>();
    start_loop(*pair.server, store, result);
    pair.client->socket().close();
    co_await settle(result);
    EXPECT_TRUE(result->has_value() && !(*result)->has_value());
    if (result->has_value() && !(*result)->has_value()) {
      EXPECT_EQ((*result)->error().display(), "WebSocket protocol error: Connection reset without closing handshake");
    }
  }
}

TEST(ConnectionLoopTest, EachMessageKind) {
  asio::io_context io;
  auto store = tree::DataStore::create(io.get_executor());
  store.publish_system(system_uptime());
  run_test(io, message_kinds(store));
}

asio::awaitable<void> ticks_and_lag(tree::DataStore store) {
  auto pair = co_await connected_streams();
  auto result = std::make_shared<std::optional<Done>>();
  start_loop(*pair.server, store, result);
  EXPECT_TRUE((co_await pair.client->send_text(kSubscribe)).has_value());
  EXPECT_NE((co_await next_text(*pair.client)).find("SubscribeValueResponse"), std::string::npos);
  // One tick, one update per subscribed path.
  store.notify_tick();
  EXPECT_NE((co_await next_text(*pair.client)).find(R"("topic":"DataUpdate-system.uptime")"), std::string::npos);
  // Seventeen ticks before the connection looks again: it lagged and is closed with 1008.
  for (int i = 0; i < 17; ++i) store.notify_tick();
  EXPECT_EQ(co_await next_text(*pair.client), "close 1008 client could not keep up with system updates");
  co_await settle(result);
  EXPECT_TRUE(ended_by_close(result));
}

TEST(ConnectionLoopTest, TicksPushUpdatesAndALaggingClientIsClosed) {
  asio::io_context io;
  auto store = tree::DataStore::create(io.get_executor());
  store.publish_system(system_uptime());
  run_test(io, ticks_and_lag(store));
}

// A request and a tick ready at the same moment: either may be served first, at random,
// and neither is lost.
asio::awaitable<void> fair_choice(tree::DataStore store, int* reply_first, int* update_first) {
  for (int trial = 0; trial < 64; ++trial) {
    auto pair = co_await connected_streams();
    auto result = std::make_shared<std::optional<Done>>();
    start_loop(*pair.server, store, result);
    EXPECT_TRUE((co_await pair.client->send_text(kSubscribe)).has_value());
    co_await next_text(*pair.client);
    EXPECT_TRUE((co_await pair.client->send_text(kGet)).has_value());
    store.notify_tick();
    const std::string first = co_await next_text(*pair.client);
    const std::string second = co_await next_text(*pair.client);
    const bool reply = first.find("GetValueResponse") != std::string::npos;
    const bool update = first.find("DataUpdate") != std::string::npos;
    EXPECT_TRUE(reply ? second.find("DataUpdate") != std::string::npos
                      : second.find("GetValueResponse") != std::string::npos);
    *reply_first += reply;
    *update_first += update;
    co_await close_cleanly(*pair.client, result);
  }
}

TEST(ConnectionLoopTest, ReadyMessageAndReadyTickAreServedInRandomOrder) {
  asio::io_context io;
  auto store = tree::DataStore::create(io.get_executor());
  store.publish_system(system_uptime());
  int reply_first = 0;
  int update_first = 0;
  run_test(io, fair_choice(store, &reply_first, &update_first));
  EXPECT_EQ(reply_first + update_first, 64);
  EXPECT_GT(reply_first, 12);
  EXPECT_GT(update_first, 12);
}


// A message much larger than one read, already complete in the socket when the connection
// first looks: it must be read to its end without waiting for bytes that will never come.
asio::awaitable<void> large_request_already_received(tree::DataStore store, bool* answered) {
  auto pair = co_await connected_streams();
  std::string padded = std::string(kGet) + std::string(1 << 20, ' ');
  EXPECT_TRUE((co_await pair.client->send_text(std::move(padded))).has_value());
  asio::steady_timer pause(co_await asio::this_coro::executor, std::chrono::milliseconds(50));
  co_await pause.async_wait(asio::use_awaitable);
  auto result = std::make_shared<std::optional<Done>>();
  start_loop(*pair.server, store, result);
  *answered = (co_await next_text(*pair.client)).find("GetValueResponse") != std::string::npos;
  co_await close_cleanly(*pair.client, result);
}

TEST(ConnectionLoopTest, LargeMessageAlreadyInTheSocketIsReadWithoutANewArrival) {
  asio::io_context io;
  auto store = tree::DataStore::create(io.get_executor());
  store.publish_system(system_uptime());
  bool answered = false;
  std::thread watchdog([&io] {
    for (int i = 0; i < 100 && !io.stopped(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    io.stop();
  });
  run_test(io, large_request_already_received(store, &answered));
  watchdog.join();
  EXPECT_TRUE(answered);
}


using namespace std::chrono_literals;

struct Flood {
  std::atomic<bool> started{false};
  std::atomic<bool> enough{false};
  std::atomic<bool> over{false};
};

// Streams pongs from its own thread, without pause, until `enough` or 5 s have passed.
void flood_with_pongs(tcp::endpoint server, Flood* flood) {
  asio::io_context own;
  tcp::socket socket(own);
  socket.connect(server);
  asio::write(socket, asio::buffer(std::string_view(
                          "GET / HTTP/1.1\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n"
                          "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n")));
  asio::streambuf response;
  asio::read_until(socket, response, "\r\n\r\n");
  std::string pongs;
  for (int i = 0; i < 16384; ++i) pongs += websocket::testing::frame(websocket::testing::kFin | websocket::testing::kPong, "");
  // Blocking sends that give up after 10 ms, so that `enough` is seen even while the
  // socket's buffers are full.
  const timeval patience{0, 10000};
  ::setsockopt(socket.native_handle(), SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  flood->started = true;
  for (std::size_t at = 0; !flood->enough && std::chrono::steady_clock::now() < deadline;) {
    const ssize_t n = ::send(socket.native_handle(), pongs.data() + at, pongs.size() - at, MSG_NOSIGNAL);
    if (n < 0 && errno != EAGAIN) break;
    if (n > 0) at = (at + static_cast<std::size_t>(n)) % pongs.size();
  }
  flood->over = true;
  // A reset, so that the server need not read what is still in the socket.
  socket.set_option(tcp::socket::linger(true, 0));
}

// A pong needs no answer, so a client that sends them without pause always has input ready:
// the connection must still give way, or the sampler's timer and every other task stop.
TEST(ConnectionLoopTest, ClientThatNeverPausesDoesNotStarveOtherTasks) {
  asio::io_context io;
  auto store = tree::DataStore::create(io.get_executor());
  store.publish_system(system_uptime());
  tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  acceptor.async_accept([store](boost::system::error_code ec, tcp::socket socket) {
    if (!ec) asio::co_spawn(socket.get_executor(), handle_connection(std::move(socket), store, nullptr), asio::detached);
  });
  Flood flood;
  bool timer_ran_during_flood = false;
  std::thread client(flood_with_pongs, acceptor.local_endpoint(), &flood);
  asio::co_spawn(
      io,
      [](Flood* flood, bool* ran) -> asio::awaitable<void> {
        asio::steady_timer timer(co_await asio::this_coro::executor);
        while (!flood->started) {
          timer.expires_after(1ms);
          co_await timer.async_wait(asio::use_awaitable);
        }
        timer.expires_after(20ms);
        co_await timer.async_wait(asio::use_awaitable);
        *ran = !flood->over;
        flood->enough = true;
      }(&flood, &timer_ran_during_flood),
      asio::detached);
  std::thread stopper([&client, &io] {
    client.join();
    io.stop();
  });
  io.run();
  stopper.join();
  EXPECT_TRUE(timer_ran_during_flood);
}

}  // namespace
}  // namespace tarnvale::server
