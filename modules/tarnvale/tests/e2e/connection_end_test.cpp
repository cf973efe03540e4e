// How connections of the real binary end: a client's close answered, and a failure line on
// standard error exactly for the connections that end on an error.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "e2e/service_client.hpp"
#include "e2e/service_process.hpp"

namespace tarnvale::e2e {
namespace {

using namespace std::chrono_literals;

std::string failure_line(unsigned short port, std::string_view error) {
  return "WebSocket connection from 127.0.0.1:" + std::to_string(port) + " failed: " + std::string(error);
}

struct RawExchange {
  unsigned short port = 0;
  std::string received;
  bool closed = false;
};

// Sends `bytes` over plain TCP (then ends the sending side if `half_close`) and collects what
// comes back until the service closes the connection.
RawExchange raw_exchange(std::string_view bytes, bool half_close) {
  RawExchange out;
  const int fd = connect_tcp();
  if (fd < 0) return out;
  sockaddr_in local{};
  socklen_t len = sizeof local;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
  out.port = ntohs(local.sin_port);
  if (!bytes.empty()) (void)::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  if (half_close) ::shutdown(fd, SHUT_WR);
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) break;
    char chunk[1024];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) {
      out.closed = true;
      break;
    }
    out.received.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return out;
}

TEST(ConnectionEndTest, ClosesAreAnsweredAndOnlyFailuresWriteALine) {
  RunningService service;

  // Closes from the client are answered and end the connection without a line.
  struct {
    std::uint16_t code;
    std::string reason;
    std::string answer;
  } closes[] = {
      {1000, "bye", "close 1000 bye"},
      {5000, "out of range", "close 1002 Protocol violation"},
  };
  for (const auto& c : closes) {
    SCOPED_TRACE(c.code);
    ServiceClient client;
    ASSERT_TRUE(client.open());
    ASSERT_TRUE(client.send_ping("still there?"));
    EXPECT_EQ(client.next(), "pong still there?");
    ASSERT_TRUE(client.close(c.code, c.reason));
    EXPECT_EQ(client.next(), c.answer);
    EXPECT_EQ(client.tcp_end(), TcpEnd::orderly);
  }

  // A client that drops TCP: one line, and it is the first line, so the closes wrote none.
  {
    ServiceClient client;
    ASSERT_TRUE(client.open());
    const unsigned short port = client.local_port();
    client.drop();
    EXPECT_EQ(service.process.stderr_line(5s),
              failure_line(port, "WebSocket protocol error: Connection reset without closing handshake"));
  }

  // Failed opening handshakes get no HTTP response at all: the connection is just closed.
  struct {
    std::string name;
    std::string bytes;
    bool half_close;
    std::string error;
  } handshakes[] = {
      {"plain GET", "GET / HTTP/1.1\r\nHost: 127.0.0.1:8083\r\n\r\n", false,
       "WebSocket protocol error: No \"Connection: upgrade\" header"},
      {"nothing sent", "", true, "WebSocket protocol error: Handshake not finished"},
  };
  for (const auto& h : handshakes) {
    SCOPED_TRACE(h.name);
    const RawExchange got = raw_exchange(h.bytes, h.half_close);
    EXPECT_TRUE(got.closed);
    EXPECT_EQ(got.received, "");
    EXPECT_EQ(service.process.stderr_line(5s), failure_line(got.port, h.error));
  }

  EXPECT_TRUE(service.process.running());
  EXPECT_EQ(service.process.stderr_text(100ms), "");
}

}  // namespace
}  // namespace tarnvale::e2e
