// How connections of the real binary begin and end: an opening handshake written by hand, a
// client's close answered, and a failure line on standard error exactly for the connections
// that end on an error.
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

// Receives on `fd` until `bytes` holds `wanted` or nothing comes for 5 s.
bool receive_until(int fd, std::string& bytes, std::string_view wanted) {
  while (bytes.find(wanted) == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    char chunk[4096];
    if (::poll(&p, 1, 5000) <= 0) return false;
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  return true;
}

TEST(ConnectionEndTest, UpgradeAmongSpaceSeparatedConnectionTokensIsServed) {
  RunningService service;
  const int fd = connect_tcp();
  ASSERT_GE(fd, 0);
  const std::string upgrade =
      "GET / HTTP/1.1\r\nHost: h\r\nUpgrade: websocket\r\nConnection: keep-alive Upgrade\r\n"
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
  ASSERT_EQ(::send(fd, upgrade.data(), upgrade.size(), MSG_NOSIGNAL), static_cast<ssize_t>(upgrade.size()));
  std::string received;
  ASSERT_TRUE(receive_until(fd, received, "\r\n\r\n"));
  EXPECT_EQ(received.rfind("HTTP/1.1 101 Switching Protocols\r\n", 0), 0u) << received;

  // One masked text frame (a zero mask leaves the payload as it is).
  const std::string text = request("GetValue", "system.uptime");
  ASSERT_LT(text.size(), 126u);
  std::string frame = {'\x81', static_cast<char>(0x80 | text.size()), 0, 0, 0, 0};
  frame += text;
  ASSERT_EQ(::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL), static_cast<ssize_t>(frame.size()));
  EXPECT_TRUE(receive_until(fd, received, R"("type":"GetValueResponse")")) << received;
  // Gone without a close frame: the one line that says so, and nothing about the handshake.
  ::close(fd);
  const auto line = service.process.stderr_line(5s);
  ASSERT_TRUE(line);
  EXPECT_NE(line->find(" failed: WebSocket protocol error: Connection reset without closing handshake"),
            std::string::npos)
      << *line;
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
