// The socket adapter over a loopback TCP pair: both roles of the handshake, messages and
// control frames in both directions, abandoned waits, the peer going away, and closes.
#include "websocket/stream.hpp"

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include "websocket/frames.hpp"

namespace tarnvale::websocket {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;
using namespace asio::experimental::awaitable_operators;
using namespace testing;

void rethrow(std::exception_ptr e) {
  if (e) std::rethrow_exception(e);
}

template <class T>
asio::awaitable<void> store(asio::awaitable<T> task, std::optional<T>* out) {
  out->emplace(co_await std::move(task));
}

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    client_socket.connect(acceptor.local_endpoint());
    acceptor.accept(server_socket);
  }

  // Starts `task`, storing its result in `out`; run() drives it.
  template <class T>
  void spawn(asio::awaitable<T> task, std::optional<T>& out) {
    asio::co_spawn(io, store(std::move(task), &out), rethrow);
  }
  void run() {
    io.restart();
    io.run();
  }
  template <class T>
  T await(asio::awaitable<T> task) {
    std::optional<T> out;
    spawn(std::move(task), out);
    run();
    return std::move(*out);
  }
  void await(asio::awaitable<void> task) {
    asio::co_spawn(io, std::move(task), rethrow);
    run();
  }

  // Both ends after the opening handshake.
  std::pair<Stream, Stream> open() {
    std::optional<Result<Stream, Error>> server, client;
    spawn(Stream::accept(std::move(server_socket)), server);
    spawn(Stream::connect(std::move(client_socket), "/any/path?x=1"), client);
    run();
    EXPECT_TRUE(server && *server);
    EXPECT_TRUE(client && *client);
    return {std::move(**server), std::move(**client)};
  }

  asio::io_context io;
  tcp::socket server_socket{io};
  tcp::socket client_socket{io};
};

Event event_of(Result<Event, Error> r) {
  EXPECT_TRUE(r) << r.error().display();
  return r ? std::move(*r) : Event(End{});
}

TEST_F(StreamTest, MessagesAndControlFramesGoBothWays) {
  auto [server, client] = open();
  ASSERT_TRUE(await(client.send_text("hello")));
  EXPECT_EQ(event_of(await(server.next())), Event(Text{"hello"}));
  ASSERT_TRUE(await(client.send_binary(std::string("\0\1\2", 3))));
  EXPECT_EQ(event_of(await(server.next())), Event(Binary{std::string("\0\1\2", 3)}));

  // Larger than the socket buffers and than one read: both sides must run at once.
  const std::string big(3 * 1024 * 1024, 'b');
  std::optional<Result<void, Error>> sent;
  std::optional<Result<Event, Error>> received;
  spawn(server.send_text(big), sent);
  spawn(client.next(), received);
  run();
  EXPECT_TRUE(*sent);
  EXPECT_EQ(event_of(std::move(*received)), Event(Text{big}));

  ASSERT_TRUE(await(client.send_ping("abc")));
  EXPECT_EQ(event_of(await(server.next())), Event(Ping{"abc"}));
  ASSERT_TRUE(await(server.flush()));
  EXPECT_EQ(event_of(await(client.next())), Event(Pong{"abc"}));

  ASSERT_TRUE(await(client.close(1000, "bye")));
  EXPECT_EQ(event_of(await(server.next())), Event(Close{1000, "bye"}));
  ASSERT_TRUE(await(server.flush()));
  EXPECT_EQ(event_of(await(client.next())), Event(Close{1000, "bye"}));
  EXPECT_EQ(event_of(await(client.next())), Event(End{}));
  EXPECT_EQ(event_of(await(server.next())), Event(End{}));
}

// Waits for the stream or 20 ms, whichever comes first: 0 when the stream won.
asio::awaitable<std::size_t> race(Stream* stream) {
  asio::steady_timer timer(co_await asio::this_coro::executor, 20ms);
  auto winner = co_await (stream->wait_readable() || timer.async_wait(asio::use_awaitable));
  co_return winner.index();
}

TEST_F(StreamTest, AbandonedWaitLosesNeitherBufferedBytesNorDecodedEvents) {
  auto [server, client] = open();
  auto& raw = client.socket();
  EXPECT_EQ(await(race(&server)), 1u);

  const std::string first = frame(kFin | kText, "hello");
  asio::write(raw, asio::buffer(first.substr(0, 8)));
  await(server.wait_readable());
  auto polled = server.poll();
  ASSERT_TRUE(polled && !*polled);
  EXPECT_EQ(await(race(&server)), 1u);  // the partial frame stays buffered

  const std::string rest = first.substr(8) + frame(kFin | kText, "second") + frame(kFin | kPing, "p");
  asio::write(raw, asio::buffer(rest));
  await(server.wait_readable());
  EXPECT_EQ(*server.poll(), std::optional<Event>(Text{"hello"}));
  EXPECT_EQ(await(race(&server)), 0u);  // decoded but not yet taken: the wait ends at once
  EXPECT_EQ(*server.poll(), std::optional<Event>(Text{"second"}));
  EXPECT_EQ(*server.poll(), std::optional<Event>(Ping{"p"}));
  EXPECT_EQ(*server.poll(), std::optional<Event>());
}

TEST_F(StreamTest, PeerThatGoesAwayFailsTheConnection) {
  {
    auto [server, client] = open();
    client.socket().close();
    EXPECT_EQ(await(server.next()).error().display(),
              "WebSocket protocol error: Connection reset without closing handshake");
    EXPECT_EQ(server.poll().error().display(), "Trying to work with closed connection");
  }
  struct Case {
    const char* name;
    std::string sent;
    bool then_close;
    std::string error;
  } cases[] = {
      {"request cut short", "GET / HTTP/1.1\r\nConnection: Upgrade\r\n", true,
       "WebSocket protocol error: Handshake not finished"},
      {"nothing sent", "", true, "WebSocket protocol error: Handshake not finished"},
      {"plain GET", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", false,
       "WebSocket protocol error: No \"Connection: upgrade\" header"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    tcp::socket raw(io), accepted(io);
    raw.connect(acceptor.local_endpoint());
    acceptor.accept(accepted);
    asio::write(raw, asio::buffer(c.sent));
    if (c.then_close) raw.shutdown(tcp::socket::shutdown_send);
    auto result = await(Stream::accept(std::move(accepted)));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().display(), c.error);
    // Nothing was written back, and the socket is closed.
    char byte;
    boost::system::error_code ec;
    EXPECT_EQ(asio::read(raw, asio::buffer(&byte, 1), ec), 0u);
    EXPECT_EQ(ec, asio::error::eof);
  }
}

TEST_F(StreamTest, ServerCloseIsWrittenAtOnceAndEndsSending) {
  auto [server, client] = open();
  const std::string reason = "tarnvale accepts JSON text messages only";
  ASSERT_TRUE(await(server.close(1003, reason)));
  EXPECT_EQ(await(server.send_text("late")).error().display(),
            "WebSocket protocol error: Sending after closing is not allowed");
  EXPECT_EQ(event_of(await(client.next())), Event(Close{1003, reason}));
  ASSERT_TRUE(await(client.flush()));
  EXPECT_EQ(event_of(await(server.next())), Event(Close{1003, reason}));
  EXPECT_EQ(event_of(await(server.next())), Event(End{}));
}

TEST_F(StreamTest, WriteToAPeerThatIsGoneIsAnIoErrorAndEndsTheStream) {
  auto [server, client] = open();
  client.socket().set_option(tcp::socket::linger(true, 0));
  client.socket().close();  // a reset
  Result<void, Error> sent;
  for (int i = 0; i < 100 && sent; ++i) sent = await(server.send_text("anyone there?"));
  ASSERT_FALSE(sent);
  EXPECT_EQ(sent.error().kind(), ErrorKind::io) << sent.error().display();
  EXPECT_EQ(await(server.flush()).error(), Error::already_closed());
}

asio::awaitable<std::vector<std::string>> texts_of(Stream* stream, std::size_t count) {
  std::vector<std::string> got;
  while (got.size() < count) {
    auto event = co_await stream->next();
    if (!event || !std::holds_alternative<Text>(*event)) break;
    got.emplace_back(std::get<Text>(*event).payload.view());
  }
  co_return got;
}

// More than the socket takes at once: the parts are taken at the call, what is left goes out
// later from the stream's own copy, and every message arrives whole and in order.
TEST_F(StreamTest, GatheredTextsThatTheSocketTakesOnlyInPartArriveWholeAndInOrder) {
  auto [server, client] = open();
  const std::string shared(64 * 1024, 's');
  std::vector<std::string> heads, want;
  for (int i = 0; i < 100; ++i) heads.push_back("message " + std::to_string(i) + ": ");
  std::vector<TextParts> texts;
  for (const auto& head : heads) {
    texts.push_back({head, shared});
    want.push_back(head + shared);
  }
  auto sending = server.send_texts(texts);
  for (auto& head : heads) head.assign(head.size(), 'x');
  std::optional<Result<void, Error>> sent;
  std::optional<std::vector<std::string>> got;
  spawn(std::move(sending), sent);
  spawn(texts_of(&client, want.size()), got);
  run();
  EXPECT_TRUE(sent && *sent);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->size(), want.size());
  EXPECT_TRUE(*got == want);
}

struct CountingWaker final : platform::Waker {
  void wake() override { ++rung; }
  int rung = 0;
};

// The readiness watch rings once for input, and never a waker whose stream is gone, also when
// its read had ended before: the wake-up the waker stands for may be gone too.
TEST_F(StreamTest, ReadinessWatchRingsForInputAndNotAfterItsStreamIsGone) {
  for (const bool stream_goes : {false, true}) {
    SCOPED_TRACE(stream_goes ? "stream gone" : "stream kept");
    if (stream_goes) SetUp();
    auto [server, client] = open();
    auto stream = std::make_unique<Stream>(std::move(server));
    auto waker = std::make_unique<CountingWaker>();
    ASSERT_TRUE(stream->poll() && !*stream->poll());
    const std::string hello = frame(kFin | kText, "hello");
    asio::write(client.socket(), asio::buffer(hello));
    stream->wake_when_readable(*waker);  // its read finds the input at once
    if (stream_goes) {
      stream.reset();
      waker.reset();
      run();
      continue;
    }
    run();
    EXPECT_EQ(waker->rung, 1);
    EXPECT_EQ(*stream->poll(), std::optional<Event>(Text{"hello"}));
  }
}

}  // namespace
}  // namespace tarnvale::websocket
