// The real binary under pressure: a client that floods requests, a storm of connections reset
// before they are accepted, a storm of resets with standard error stalled, and a process that
// runs out of descriptors. None of them ends the service or keeps it from serving the
// connections it has.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e/service_client.hpp"
#include "e2e/service_process.hpp"

namespace tarnvale::e2e {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;

bool is_update(const std::string& message) { return message.find(R"("type":"DataUpdate")") != std::string::npos; }

bool answers_get_value(ServiceClient& client) {
  return client.send_text(request("GetValue", "system.uptime")) &&
         client.next_reply().find(R"("type":"GetValueResponse")") != std::string::npos;
}

TEST(OverloadTest, FloodingClientStillGetsAnUpdateEverySecond) {
  RunningService service;
  ServiceClient client;
  ASSERT_TRUE(client.open());
  ASSERT_TRUE(client.send_text(request("SubscribeValue", "system.uptime")));
  ASSERT_NE(client.next_reply().find(R"("type":"SubscribeValueResponse")"), std::string::npos);

  // Keeps a window of requests in flight, so the service always has one to read.
  constexpr int kInFlight = 32;
  const std::string get = request("GetValue", "system.cpu.all");
  for (int i = 0; i < kInFlight; ++i) ASSERT_TRUE(client.send_text(get));
  std::vector<steady_clock::time_point> updates{steady_clock::now()};
  int replies = 0;
  for (const auto end = steady_clock::now() + 3500ms; steady_clock::now() < end;) {
    const std::string got = client.next(2s);
    if (is_update(got)) {
      updates.push_back(steady_clock::now());
      continue;
    }
    ASSERT_NE(got.find(R"("type":"GetValueResponse")"), std::string::npos) << got;
    ++replies;
    ASSERT_TRUE(client.send_text(get));
  }
  EXPECT_GE(updates.size(), 4u);
  for (std::size_t i = 1; i < updates.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_LT(updates[i] - updates[i - 1], 1500ms);
  }
  EXPECT_GT(replies, 1000);
  EXPECT_EQ(service.process.stderr_text(), "");
}

TEST(OverloadTest, ResetsBeforeAcceptLeaveTheServiceServing) {
  RunningService service;
  // While the process is stopped the kernel completes the connections into the backlog; each is
  // reset there (SO_LINGER 0) before the service can accept it.
  ASSERT_EQ(::kill(service.process.pid(), SIGSTOP), 0);
  std::vector<int> sockets;
  for (int i = 0; i < 100; ++i) {
    if (const int fd = connect_tcp(); fd >= 0) sockets.push_back(fd);
  }
  const linger reset{1, 0};
  for (const int fd : sockets) {
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
  }
  ASSERT_EQ(::kill(service.process.pid(), SIGCONT), 0);
  EXPECT_EQ(sockets.size(), 100u);

  ServiceClient client;
  ASSERT_TRUE(client.open());
  EXPECT_TRUE(answers_get_value(client));
  EXPECT_TRUE(service.process.running());
  // At most a failure line per reset connection; nothing that ends the service.
  std::istringstream lines(service.process.stderr_text(300ms));
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.rfind("WebSocket connection from 127.0.0.1:", 0), 0u) << line;
  }
}

// Opens `count` connections that each finish the opening handshake and are then reset
// (SO_LINGER 0, no close frame), `batch` at a time.
void handshake_and_reset(int count, int batch) {
  const std::string upgrade =
      "GET / HTTP/1.1\r\nHost: 127.0.0.1:8083\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
  const linger reset{1, 0};
  for (int done = 0; done < count; done += batch) {
    std::vector<int> sockets;
    for (int i = 0; i < batch && done + i < count; ++i) {
      const int fd = connect_tcp();
      ASSERT_GE(fd, 0);
      ASSERT_EQ(::send(fd, upgrade.data(), upgrade.size(), MSG_NOSIGNAL), static_cast<ssize_t>(upgrade.size()));
      sockets.push_back(fd);
    }
    for (const int fd : sockets) {
      std::string response;
      char chunk[512];
      while (response.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        ASSERT_GT(n, 0);
        response.append(chunk, static_cast<std::size_t>(n));
      }
      ASSERT_EQ(response.rfind("HTTP/1.1 101 ", 0), 0u) << response;
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
      ::close(fd);
    }
  }
}

// Every reset connection is a failure line, written or counted. Standard error is a one-page
// pipe, full from the start and read only at the end: the service must neither wait on it
// nor lose a failure without a count.
TEST(OverloadTest, StalledStandardErrorAndResetStormLeaveTheServiceServing) {
  RunningService service({}, service_binary(), StderrPipe{.size = 4096, .full = true});
  constexpr int kResets = 2000;

  std::atomic<bool> done = false;
  bool answered_all = false;
  std::vector<steady_clock::duration> round_trips;
  std::thread healthy([&] {
    ServiceClient client;
    if (!client.open()) return;
    while (!done) {
      const auto sent = steady_clock::now();
      if (!answers_get_value(client)) return;
      round_trips.push_back(steady_clock::now() - sent);
      std::this_thread::sleep_for(10ms);
    }
    // Closed with a close frame: a failure line of its own would spoil the count.
    answered_all = client.close(1000, "") && client.next() == "close 1000 ";
  });
  handshake_and_reset(kResets, 100);
  std::this_thread::sleep_for(200ms);
  done = true;
  healthy.join();
  ASSERT_FALSE(HasFatalFailure());

  EXPECT_TRUE(answered_all);
  ASSERT_GT(round_trips.size(), 1u);
  EXPECT_LT(*std::max_element(round_trips.begin(), round_trips.end()), 1s);
  EXPECT_TRUE(service.process.running());

  // The summaries come once their second is over; the queue then drains as the pipe is read.
  std::istringstream lines(service.process.stderr_text(3s));
  const std::regex summary("WebSocket connection failures: ([0-9]+) more in the last second, not written");
  const std::regex dropped("standard error fell behind: ([0-9]+) lines not written");
  int written = 0;
  int summaries = 0;
  long counted = 0;
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (line.empty()) continue;  // the pipe's filling
    if (line.rfind("WebSocket connection from 127.0.0.1:", 0) == 0) {
      ++written;
    } else if (std::regex_match(line, m, summary)) {
      ++summaries;
      counted += std::stol(m[1]);
    } else if (std::regex_match(line, m, dropped)) {
      counted += std::stol(m[1]);
    } else {
      ADD_FAILURE() << line;
    }
  }
  EXPECT_GE(summaries, 1);
  EXPECT_LT(written, 200);
  EXPECT_EQ(written + counted, kResets);
}

TEST(OverloadTest, DescriptorShortagePausesAcceptingWhileConnectionsAreServed) {
  const auto binary = unsanitized_binary();
  if (!binary) GTEST_SKIP() << "a sanitizer build runs this on the binary named by TARNVALE_RELEASE_BINARY";
  RunningService service({"prlimit", "--nofile=64:64"}, *binary);
  // Connections are opened until one is not accepted: the service has no descriptor left.
  std::vector<std::unique_ptr<ServiceClient>> clients;
  std::unique_ptr<ServiceClient> waiting;
  for (int i = 0; i < 100 && !waiting; ++i) {
    auto client = std::make_unique<ServiceClient>();
    if (client->open(i == 0 ? 5000ms : 500ms)) {
      clients.push_back(std::move(client));
    } else {
      waiting = std::move(client);
    }
  }
  ASSERT_TRUE(waiting);
  ASSERT_GT(clients.size(), 20u);
  EXPECT_EQ(service.process.stderr_line(2s), "accepting connections paused: No file descriptors available (os error 24)");

  // The connections it has are served meanwhile.
  EXPECT_TRUE(answers_get_value(*clients.front()));
  EXPECT_TRUE(answers_get_value(*clients.back()));

  // Churn at the limit: each round ends a connection, lets the waiting one in and brings a new
  // one that finds no descriptor. It is all one pause: no further pause line.
  for (int i = 0; i < 20; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(clients.front()->close(1000, ""));
    EXPECT_EQ(clients.front()->next(), "close 1000 ");
    clients.erase(clients.begin());
    ASSERT_TRUE(waiting->open(3s));
    clients.push_back(std::move(waiting));
    waiting = std::make_unique<ServiceClient>();
  }

  // Two connections end: the waiting one is accepted once the back-off has passed.
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(clients.back()->close(1000, ""));
    EXPECT_EQ(clients.back()->next(), "close 1000 ");
    clients.pop_back();
  }
  ASSERT_TRUE(waiting->open(3s));
  EXPECT_TRUE(answers_get_value(*waiting));
  // A second after the last failed accept, accepting having worked since, the pause is over.
  EXPECT_THAT(service.process.stderr_line(3s).value_or("none"),
              testing::MatchesRegex("accepting connections resumed: [1-9][0-9]* accepts failed while paused"));
  EXPECT_TRUE(service.process.running());
  EXPECT_EQ(service.process.stderr_text(), "");
}

}  // namespace
}  // namespace tarnvale::e2e
