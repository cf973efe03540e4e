// Connections over loopback against a small budget for unfinished input: three clients
// stream unfinished messages past it, the one that holds the most is ended, the others are
// not, and a client with ordinary requests is answered throughout.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <map>
#include <string>
#include <thread>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "server/detail/connection.hpp"
#include "websocket/frames.hpp"

namespace tarnvale::server {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using namespace websocket::testing;

constexpr std::size_t kMiB = 1 << 20;
constexpr const char* kGet =
    R"({"uuid":"00000000-0000-0000-0000-000000000002","type":"GetValue","body":{"path":"system.uptime"}})";

// A blocking client socket whose opening handshake is done.
class RawClient {
 public:
  explicit RawClient(unsigned short port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 send("GET / HTTP/1.1\r\nConnection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
                      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n") &&
                 receive_until("\r\n\r\n");
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~RawClient() { ::close(fd_); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return connected_; }
  unsigned short port() const { return port_; }
  bool send(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
      if (n <= 0) return false;
      at += static_cast<std::size_t>(n);
    }
    return true;
  }
  // Receives until what came holds `wanted`: false when the connection ends or 5 s pass first.
  bool receive_until(std::string_view wanted) {
    while (received_.find(wanted) == std::string::npos) {
      pollfd p{fd_, POLLIN, 0};
      char chunk[4096];
      if (::poll(&p, 1, 5000) <= 0) return false;
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      received_.append(chunk, static_cast<std::size_t>(n));
    }
    received_.clear();
    return true;
  }
  bool answers_get_value() { return send(frame(kFin | kText, kGet)) && receive_until("GetValueResponse"); }

 private:
  int fd_;
  bool connected_ = false;
  unsigned short port_ = 0;
  std::string received_;
};

// A GetValue request padded with spaces to `size` bytes, as the first frame of a message
// whose end is still to come.
std::string unfinished_get(std::size_t size) {
  std::string text = kGet;
  text.resize(size, ' ');
  return frame(kText, text);
}

TEST(UnfinishedInputTest, ClientHoldingTheMostIsEndedAndOthersAreServed) {
  asio::io_context io;
  auto store = tree::DataStore::create(io.get_executor());
  tree::DataNode system = tree::DataNode::branch();
  system.insert("uptime", tree::DataNode::leaf(std::uint64_t{42}, tree::kUnitSeconds));
  store.publish_system(std::move(system));
  const auto budget = std::make_shared<websocket::InputBudget>(5 * kMiB);

  // Every connection's result, by the client's port.
  std::map<unsigned short, std::string> ended;
  tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  asio::co_spawn(
      io,
      [](tcp::acceptor& acceptor, tree::DataStore store, std::shared_ptr<websocket::InputBudget> budget,
         std::map<unsigned short, std::string>& ended) -> asio::awaitable<void> {
        for (;;) {
          tcp::socket socket = co_await acceptor.async_accept(asio::use_awaitable);
          asio::co_spawn(
              acceptor.get_executor(),
              [](tcp::socket socket, tree::DataStore store, std::shared_ptr<websocket::InputBudget> budget,
                 std::map<unsigned short, std::string>& ended) -> asio::awaitable<void> {
                const unsigned short port = socket.remote_endpoint().port();
                auto result = co_await handle_connection(std::move(socket), std::move(store), std::move(budget));
                ended[port] = result ? "success" : result.error().display();
              }(std::move(socket), store, budget, ended),
              asio::detached);
        }
      }(acceptor, store, budget, ended),
      asio::detached);

  const unsigned short port = acceptor.local_endpoint().port();
  unsigned short largest_port = 0;
  bool largest_cut_off = false;
  std::map<unsigned short, std::string> ended_meanwhile;
  auto run_clients = [&] {
    RawClient healthy(port), largest(port), second(port), third(port);
    ASSERT_TRUE(healthy.connected() && largest.connected() && second.connected() && third.connected());
    largest_port = largest.port();
    EXPECT_TRUE(healthy.answers_get_value());
    // Message buffers of 3 MiB and twice 512 KiB: most of the budget.
    EXPECT_TRUE(largest.send(unfinished_get(3 * kMiB)));
    EXPECT_TRUE(second.send(unfinished_get(300 * 1024)));
    EXPECT_TRUE(third.send(unfinished_get(300 * 1024)));
    EXPECT_TRUE(healthy.answers_get_value());
    // The third's buffer grows to 2 MiB, past the budget: the largest is ended to make room.
    EXPECT_TRUE(third.send(frame(kContinuation, std::string(800 * 1024, ' '))));
    largest_cut_off = !largest.receive_until("anything");
    EXPECT_TRUE(healthy.answers_get_value());
    // The others finish their messages and are answered.
    EXPECT_TRUE(second.send(frame(kFin | kContinuation, "")) && second.receive_until("GetValueResponse"));
    EXPECT_TRUE(third.send(frame(kFin | kContinuation, "")) && third.receive_until("GetValueResponse"));
    EXPECT_TRUE(healthy.answers_get_value());
    // What has ended while the clients are all still there.
    std::promise<void> taken;
    asio::post(io, [&] {
      ended_meanwhile = ended;
      taken.set_value();
    });
    taken.get_future().wait();
  };
  std::thread clients([&] {
    run_clients();
    io.stop();
  });
  io.run();
  clients.join();

  EXPECT_TRUE(largest_cut_off);
  ASSERT_EQ(ended_meanwhile.size(), 1u) << ::testing::PrintToString(ended_meanwhile);
  EXPECT_THAT(ended_meanwhile[largest_port],
              ::testing::MatchesRegex("Space limit exceeded: Unfinished input over the service's budget: "
                                      "[0-9]+ > 5242880"));
}

}  // namespace
}  // namespace tarnvale::server
