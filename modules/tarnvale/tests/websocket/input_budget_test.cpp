// The budget for unfinished input: its size, the choice of whom to end, and how connections
// and opening handshakes count against it from their first byte to their end.
#include "websocket/core/input_budget.hpp"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "websocket/core/connection.hpp"
#include "websocket/core/server_handshake.hpp"
#include "websocket/frames.hpp"

namespace tarnvale::websocket {
namespace {

using namespace testing;

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kMiB = 1024 * kKiB;

TEST(InputBudgetTest, AnEighthOfTheHostWithinItsBounds) {
  struct {
    std::uint64_t host;
    std::size_t budget;
  } cases[] = {
      {0, 80 * kMiB},
      {512 * kMiB, 80 * kMiB},
      {1024 * kMiB, 128 * kMiB},
      {2048 * kMiB, 256 * kMiB},
      {std::uint64_t{24} << 30, 256 * kMiB},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    EXPECT_EQ(InputBudget::for_host_memory(c.host), c.budget);
  }
}

TEST(InputBudgetTest, HoldersOfTheMostAreEndedFirstAndOnlyOthersAreTold) {
  auto budget = std::make_shared<InputBudget>(100);
  std::vector<std::string> told;
  std::vector<InputAccount> accounts;
  for (const char* name : {"a", "b", "c"}) {
    accounts.emplace_back(budget);  // moved as the vector grows: the budget follows
    accounts.back().on_ended([&told, name] { told.push_back(name); });
  }
  InputAccount& a = accounts[0];
  InputAccount& b = accounts[1];
  InputAccount& c = accounts[2];
  EXPECT_TRUE(a.hold(50));
  EXPECT_TRUE(b.hold(30));
  EXPECT_TRUE(c.hold(10));
  EXPECT_EQ(budget->held(), 90u);

  // c grows past the limit: a, which holds the most, makes room.
  EXPECT_TRUE(c.hold(40));
  EXPECT_EQ(told, std::vector<std::string>{"a"});
  EXPECT_TRUE(a.ended());
  EXPECT_EQ(a.refusal().display(), "Space limit exceeded: Unfinished input over the service's budget: 120 > 100");
  EXPECT_EQ(budget->held(), 70u);
  // An ended account counts nothing more.
  EXPECT_FALSE(a.hold(5));
  EXPECT_EQ(budget->held(), 70u);

  // b grows to hold the most: it ends itself, and is not told.
  EXPECT_FALSE(b.hold(80));
  EXPECT_EQ(told, std::vector<std::string>{"a"});
  EXPECT_EQ(budget->held(), 40u);

  // Shrinking and going away give back.
  EXPECT_TRUE(c.hold(15));
  EXPECT_EQ(budget->held(), 15u);
  accounts.clear();
  EXPECT_EQ(budget->held(), 0u);
}

// Feeds `bytes` to `c` in reads of 64 KiB and takes its events: the display text of an
// error, "event" when the last read yielded an event, or "" when more is due.
std::string feed(Connection& c, std::string_view bytes) {
  std::string last;
  for (std::size_t at = 0; at < bytes.size(); at += 64 * kKiB) {
    c.feed(bytes.substr(at, 64 * kKiB));
    last.clear();
    for (;;) {
      auto event = c.next_event();
      if (!event) return event.error().display();
      if (!*event || std::holds_alternative<End>(**event)) break;
      last = "event";
    }
  }
  return last;
}

// The budget's refusal, with the total that passed `limit`.
::testing::Matcher<std::string> refusal_over(std::size_t limit) {
  return ::testing::AllOf(
      ::testing::StartsWith("Space limit exceeded: Unfinished input over the service's budget: "),
      ::testing::EndsWith(" > " + std::to_string(limit)));
}

std::string unfinished(std::size_t size) { return frame(kText, std::string(size, ' ')); }

TEST(InputBudgetTest, ConnectionCountsItsUnfinishedMessageUntilItEnds) {
  auto budget = std::make_shared<InputBudget>(4 * kMiB);
  {
    Connection c(Role::server, 0, budget);
    EXPECT_EQ(feed(c, unfinished(100 * kKiB)), "");
    EXPECT_GE(budget->held(), 100 * kKiB);
    EXPECT_LE(budget->held(), 256 * kKiB);
    EXPECT_EQ(feed(c, frame(kFin | kContinuation, "{}")), "event");
    EXPECT_LE(budget->held(), 4 * kKiB);

    // A message past the budget ends its own connection and gives everything back.
    EXPECT_EQ(feed(c, unfinished(1536 * kKiB)), "");
    EXPECT_THAT(feed(c, frame(kContinuation, std::string(2 * kMiB, ' '))), refusal_over(4 * kMiB));
    EXPECT_EQ(budget->held(), 0u);
  }

  // The peer's close mid-message, a reset, and the end of the connection give back too.
  for (const char* road : {"close", "reset", "destroyed"}) {
    SCOPED_TRACE(road);
    {
      Connection c(Role::server, 0, budget);
      EXPECT_EQ(feed(c, unfinished(500 * kKiB)), "");
      EXPECT_GT(budget->held(), 500 * kKiB);
      if (road == std::string("close")) {
        EXPECT_EQ(feed(c, frame(kFin | kClose, close_body(1000, ""))), "event");
        EXPECT_EQ(budget->held(), 0u);
      } else if (road == std::string("reset")) {
        c.end_of_input();
        EXPECT_FALSE(c.next_event());
        EXPECT_EQ(budget->held(), 0u);
      }
    }
    EXPECT_EQ(budget->held(), 0u);
  }
}

TEST(InputBudgetTest, ConnectionThatHoldsTheMostIsEndedByAnothersInput) {
  auto budget = std::make_shared<InputBudget>(2560 * kKiB);
  Connection large(Role::server, 0, budget);
  bool told = false;
  large.input_account().on_ended([&told] { told = true; });
  Connection small(Role::server, 0, budget);
  EXPECT_EQ(feed(large, unfinished(1536 * kKiB)), "");
  EXPECT_GE(budget->held(), 2 * kMiB);
  EXPECT_LE(budget->held(), 2 * kMiB + 4 * kKiB);

  EXPECT_EQ(feed(small, unfinished(600 * kKiB)), "");
  EXPECT_TRUE(told);
  EXPECT_LE(budget->held(), 1 * kMiB + 68 * kKiB);
  EXPECT_EQ(feed(small, frame(kFin | kContinuation, "{}")), "event");
  auto refused = large.next_event();
  ASSERT_FALSE(refused);
  EXPECT_THAT(refused.error().display(), refusal_over(2560 * kKiB));
}

TEST(InputBudgetTest, OpeningHandshakeCountsWhatItHoldsAndCanBeEnded) {
  auto budget = std::make_shared<InputBudget>(6 * kKiB);
  auto read = [](ServerHandshake& h, std::string_view bytes) {
    auto space = h.read_space();
    std::memcpy(space.data(), bytes.data(), bytes.size());
    auto r = h.commit(bytes.size());
    return r ? std::string(*r ? "response" : "") : r.error().display();
  };
  {
    ServerHandshake handshake(budget);
    EXPECT_EQ(read(handshake, "GET / HTTP/1.1\r\nX-Pad: " + std::string(3000, 'p')), "");
    EXPECT_EQ(budget->held(), 4 * kKiB);
    // Ended by another's input: its next read and its end report the refusal.
    InputAccount other(budget);
    EXPECT_TRUE(other.hold(3 * kKiB));
    EXPECT_EQ(budget->held(), 3 * kKiB);
    const std::string refusal = "Space limit exceeded: Unfinished input over the service's budget: 7168 > 6144";
    EXPECT_EQ(handshake.end_of_input().display(), refusal);
    EXPECT_EQ(read(handshake, "\r\n"), refusal);
  }
  ServerHandshake handshake(budget);
  EXPECT_EQ(handshake.end_of_input().display(), "WebSocket protocol error: Handshake not finished");
}

}  // namespace
}  // namespace tarnvale::websocket
