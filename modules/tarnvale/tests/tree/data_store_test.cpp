// The store's ready flag, snapshots, and the tick channel's numbering, lag and wake-ups.
#include "tree/data_store.hpp"

#include <chrono>
#include <optional>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/as_tuple.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <gtest/gtest.h>

#include "json/writer.hpp"

namespace tarnvale::tree {
namespace {

namespace asio = boost::asio;

DataNode system_with(const char* name) {
  DataNode n = DataNode::branch();
  n.insert(name, DataNode::leaf(std::uint64_t{1}));
  return n;
}

class DataStoreTest : public ::testing::Test {
 protected:
  asio::io_context io;
  DataStore store = DataStore::create(io.get_executor());
};

TEST_F(DataStoreTest, NewStoreIsNotReadyAndIssuesNoTicks) {
  EXPECT_FALSE(store.is_ready());
  EXPECT_EQ(store.snapshot(), nullptr);
  auto rx = store.subscribe_ticks();
  store.notify_tick();
  EXPECT_EQ(store.tick_counter(), 0u);
  EXPECT_FALSE(rx.try_recv().has_value());
}

TEST_F(DataStoreTest, FirstPublishWithoutReceiversUsesUpTickOne) {
  store.publish_system(system_with("a"));
  EXPECT_TRUE(store.is_ready());
  EXPECT_EQ(store.tick_counter(), 1u);
  auto rx = store.subscribe_ticks();
  EXPECT_FALSE(rx.try_recv().has_value());
  for (int i = 0; i < 4; ++i) store.notify_tick();
  auto late = store.subscribe_ticks();
  store.notify_tick();
  EXPECT_EQ(late.try_recv(), TickEvent(std::uint64_t{6}));
  EXPECT_EQ(rx.try_recv(), TickEvent(std::uint64_t{2}));
}

TEST_F(DataStoreTest, LaggingReceiverIsToldTheLossThenGetsTheSixteenNewest) {
  struct Case {
    int sent;
    std::uint64_t lost;
  } cases[] = {{17, 1}, {20, 4}};
  store.publish_system(system_with("a"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sent);
    auto rx = store.subscribe_ticks();
    const std::uint64_t first = store.tick_counter() + 1;
    for (int i = 0; i < c.sent; ++i) store.notify_tick();
    EXPECT_EQ(rx.try_recv(), TickEvent(TickLagged{c.lost}));
    for (std::uint64_t k = 0; k < kTickCapacity; ++k) {
      EXPECT_EQ(rx.try_recv(), TickEvent(first + c.lost + k));
    }
    EXPECT_FALSE(rx.try_recv().has_value());
  }
}

TEST_F(DataStoreTest, ReceiverThatKeepsUpNeverLags) {
  store.publish_system(system_with("a"));
  auto rx = store.subscribe_ticks();
  for (int round = 0; round < 10; ++round) {
    for (std::uint64_t i = 0; i < kTickCapacity; ++i) store.notify_tick();
    for (std::uint64_t i = 0; i < kTickCapacity; ++i) {
      auto event = rx.try_recv();
      ASSERT_TRUE(event.has_value());
      EXPECT_TRUE(std::holds_alternative<std::uint64_t>(*event));
    }
  }
}

TEST_F(DataStoreTest, SnapshotKeepsItsTreeAcrossLaterPublishes) {
  store.publish_system(system_with("first"));
  auto before = store.snapshot();
  store.publish_system(system_with("second"));
  auto after = store.snapshot();
  EXPECT_EQ(json::to_string(before->to_json_value()), R"({"system":{"first":1}})");
  EXPECT_EQ(json::to_string(after->to_json_value()), R"({"system":{"second":1}})");
}

TEST_F(DataStoreTest, WaitingReceiverWakesOnTheTickAndAbandonedWaitLosesNothing) {
  store.publish_system(system_with("a"));
  std::vector<TickEvent> got;
  asio::co_spawn(
      io,
      [](DataStore store, std::vector<TickEvent>* got) -> asio::awaitable<void> {
        using namespace asio::experimental::awaitable_operators;
        auto rx = store.subscribe_ticks();
        // A wait abandoned in favour of a timer must not consume the tick sent later.
        asio::steady_timer short_timer(co_await asio::this_coro::executor, std::chrono::milliseconds(1));
        co_await (rx.wait() || short_timer.async_wait(asio::use_awaitable));
        got->push_back(co_await rx.recv());
        got->push_back(co_await rx.recv());
      }(store, &got),
      asio::detached);
  asio::steady_timer later(io, std::chrono::milliseconds(20));
  later.async_wait([this](auto) {
    store.notify_tick();
    store.notify_tick();
  });
  io.run();
  EXPECT_EQ(got, (std::vector<TickEvent>{std::uint64_t{2}, std::uint64_t{3}}));
}

struct CountingWaker final : platform::Waker {
  void wake() override { ++rung; }
  int rung = 0;
};

// The channel rings each waiting receiver's waker once, and a receiver released while it
// waits leaves the channel's list: ringing it then would touch freed memory.
TEST_F(DataStoreTest, WakerIsRungOnceByTheNextTickAndNotAfterItsReceiverIsGone) {
  store.publish_system(system_with("a"));
  CountingWaker kept, dropped;
  auto rx = store.subscribe_ticks();
  rx.wake_on_tick(kept);
  rx.wake_on_tick(kept);
  std::optional<TickReceiver> gone(store.subscribe_ticks());
  gone->wake_on_tick(dropped);
  gone.reset();
  store.notify_tick();
  store.notify_tick();
  EXPECT_EQ(kept.rung, 1);
  EXPECT_EQ(dropped.rung, 0);
  EXPECT_EQ(rx.try_recv(), TickEvent(std::uint64_t{2}));
}

TEST(TickReceiverTest, ReceiverIsToldOfTheCloseAfterTheKeptTicks) {
  asio::io_context io;
  std::optional<TickReceiver> rx;
  {
    auto store = DataStore::create(io.get_executor());
    store.publish_system(DataNode::branch());
    rx.emplace(store.subscribe_ticks());
    store.notify_tick();
  }
  EXPECT_EQ(rx->try_recv(), TickEvent(std::uint64_t{2}));
  EXPECT_EQ(rx->try_recv(), TickEvent(TickClosed{}));
}

}  // namespace
}  // namespace tarnvale::tree
