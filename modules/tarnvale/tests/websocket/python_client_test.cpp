// The server side against a client this project did not write (Python's websockets): the
// handshake on an arbitrary path, text both ways, ping and pong, and a close whose reason
// comes back.
#include "websocket/stream.hpp"

#include <cstdio>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <gtest/gtest.h>

namespace tarnvale::websocket {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

// Echoes texts with an "echo:" prefix and notes every event in `log`.
asio::awaitable<void> echo_server(tcp::acceptor acceptor, std::vector<std::string>* log) {
  auto stream = co_await Stream::accept(co_await acceptor.async_accept(asio::use_awaitable));
  if (!stream) {
    log->push_back("handshake failed: " + stream.error().display());
    co_return;
  }
  for (;;) {
    auto event = co_await stream->next();
    if (!event) {
      log->push_back("error: " + event.error().display());
      co_return;
    }
    if (auto* text = std::get_if<Text>(&*event)) {
      log->push_back("text of " + std::to_string(text->payload.size()) + " bytes");
      if (!co_await stream->send_text("echo:" + std::string(text->payload.view()))) co_return;
    } else if (auto* ping = std::get_if<Ping>(&*event)) {
      log->push_back("ping " + ping->payload);
      if (!co_await stream->flush()) co_return;
    } else if (auto* close = std::get_if<Close>(&*event)) {
      log->push_back("close " + std::to_string(close->code.value_or(0)) + " " + close->reason);
      if (!co_await stream->flush()) co_return;
      co_return;
    } else {
      log->push_back("other event");
    }
  }
}

TEST(StreamPythonInteropTest, HandshakeTextPingAndCloseWithAnotherImplementation) {
  asio::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  const unsigned short port = acceptor.local_endpoint().port();
  std::vector<std::string> log;
  asio::co_spawn(io, echo_server(std::move(acceptor), &log), asio::detached);
  std::thread server([&io] { io.run(); });

  const std::string command =
      "/usr/bin/python3 " TARNVALE_TEST_DATA "/echo_client.py " + std::to_string(port) + " 2>&1";
  std::string output;
  FILE* client = popen(command.c_str(), "r");
  ASSERT_NE(client, nullptr);
  char chunk[512];
  while (std::size_t n = std::fread(chunk, 1, sizeof chunk, client)) output.append(chunk, n);
  const int status = pclose(client);
  // The server is done once the client has seen its socket close; stop it in case it is not.
  io.stop();
  server.join();

  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output, "ok\n");
  const std::vector<std::string> want = {"text of 5 bytes", "text of 70003 bytes", "ping abc", "close 1000 bye"};
  EXPECT_EQ(log, want);
}

}  // namespace
}  // namespace tarnvale::websocket
