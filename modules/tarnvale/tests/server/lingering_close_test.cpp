// The lingering close over loopback, with small bounds: the client receives what was queued
// and an orderly end although its input lies unread, and the socket is closed when the client
// ends its side, after the idle bound, or after the total bound against a client that trickles.
#include "server/detail/lingering_close.hpp"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

namespace tarnvale::server {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;
using std::chrono::steady_clock;

constexpr auto kIdle = 200ms;
constexpr auto kTotal = 600ms;
constexpr std::size_t kQueued = 4096;

enum class Client { ends_its_side, resets, stays_silent, trickles };

struct Seen {
  std::size_t received = 0;
  bool orderly_end = false;
};

// The client's side: reads to the end of the stream, then does as `client` says until `over`.
void run_client(int fd, Client client, const std::atomic<bool>* over, Seen* seen) {
  for (;;) {
    char chunk[1024];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) {
      seen->orderly_end = n == 0;
      break;
    }
    seen->received += static_cast<std::size_t>(n);
  }
  if (client == Client::ends_its_side) ::shutdown(fd, SHUT_WR);
  if (client == Client::resets) {
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
    return;
  }
  while (!*over) {
    if (client == Client::trickles && ::send(fd, "x", 1, MSG_NOSIGNAL) != 1) break;
    std::this_thread::sleep_for(20ms);
  }
  ::close(fd);
}

// A connected pair whose server end has `kQueued` bytes sent and 8 KiB of the client's unread.
struct Pair {
  explicit Pair(asio::io_context& io) : server(io) {
    tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(acceptor.local_endpoint().port());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(client, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    server = acceptor.accept();
    const std::string unread(8192, 'u');
    EXPECT_EQ(::send(client, unread.data(), unread.size(), 0), static_cast<ssize_t>(unread.size()));
    asio::write(server, asio::buffer(std::string(kQueued, 'q')));
    while (server.available() < unread.size()) std::this_thread::sleep_for(1ms);
  }
  tcp::socket server;
  int client = -1;
};

TEST(LingeringCloseTest, ClientGetsAnOrderlyEndAndTheSocketClosesAtTheRightBound) {
  struct {
    const char* name;
    Client client;
    std::chrono::milliseconds at_least;
    std::chrono::milliseconds below;
  } cases[] = {
      {"client ends its side", Client::ends_its_side, 0ms, kIdle},
      {"client resets", Client::resets, 0ms, kIdle},
      {"client stays silent", Client::stays_silent, kIdle, kTotal},
      {"client trickles", Client::trickles, kTotal, kTotal + kIdle},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    asio::io_context io;
    Pair pair(io);
    std::atomic<bool> over{false};
    Seen seen;
    const auto start = steady_clock::now();
    close_lingering(std::move(pair.server), kIdle, kTotal);
    std::thread client(run_client, pair.client, c.client, &over, &seen);
    io.run();
    const auto lingered = steady_clock::now() - start;
    over = true;
    client.join();
    EXPECT_EQ(seen.received, kQueued);
    EXPECT_TRUE(seen.orderly_end);
    EXPECT_GE(lingered, c.at_least);
    EXPECT_LT(lingered, c.below);
  }
}

// Destroying the runtime destroys the lingering task and closes its socket.
TEST(LingeringCloseTest, EndsWithTheRuntime) {
  std::atomic<bool> over{false};
  Seen seen;
  int fd = -1;
  std::thread client;
  {
    asio::io_context io;
    Pair pair(io);
    fd = pair.server.native_handle();
    close_lingering(std::move(pair.server));
    client = std::thread(run_client, pair.client, Client::stays_silent, &over, &seen);
    io.run_for(50ms);
    EXPECT_NE(::fcntl(fd, F_GETFD), -1);
  }
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  EXPECT_EQ(errno, EBADF);
  over = true;
  client.join();
  EXPECT_TRUE(seen.orderly_end);
}

}  // namespace
}  // namespace tarnvale::server
