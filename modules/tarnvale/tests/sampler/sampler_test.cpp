// One sample against the store, and the sampler task's schedule, failures and cancellation.
#include "sampler/sample_once.hpp"
#include "sampler/system_sampler.hpp"
#include "sampler/detail/tick_schedule.hpp"

#include <functional>
#include <thread>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <gtest/gtest.h>

#include "json/writer.hpp"

namespace tarnvale::sampler {
namespace {

namespace asio = boost::asio;
using namespace std::chrono_literals;

// What a scripted source does on each call, and what the test reads back afterwards.
struct Script {
  std::vector<Clock::duration> sleeps;  // per call; none beyond
  std::vector<bool> failures;           // per call; success beyond
  std::vector<Clock::time_point> calls;
  std::function<void()> after_call;
  bool destroyed = false;
};

// Refresh number n (from 1) takes its scripted time and yields uptime n, or fails.
class ScriptedSource final : public metrics::SystemMetricsSource {
 public:
  explicit ScriptedSource(std::shared_ptr<Script> script) : script_(std::move(script)) {}
  ~ScriptedSource() override { script_->destroyed = true; }

  Result<metrics::SystemSnapshot, metrics::MetricsError> refresh() override {
    Script& s = *script_;
    const std::size_t n = s.calls.size();
    s.calls.push_back(Clock::now());
    if (n < s.sleeps.size()) std::this_thread::sleep_for(s.sleeps[n]);
    if (s.after_call) s.after_call();
    if (n < s.failures.size() && s.failures[n]) return unexpected(metrics::MetricsError("sensor " + std::to_string(n + 1) + " gone"));
    metrics::SystemSnapshot snapshot;
    snapshot.uptime_seconds = n + 1;
    return snapshot;
  }

 private:
  std::shared_ptr<Script> script_;
};

std::string uptime_in(const tree::DataStore& store) {
  return json::to_string(store.snapshot()->child("system")->child("uptime")->to_json_value());
}

TEST(SampleOnceTest, PublishesTheSubtreeAndSendsATick) {
  asio::io_context io;
  auto store = tree::DataStore::create(io.get_executor());
  auto script = std::make_shared<Script>();
  ScriptedSource source(script);
  ASSERT_TRUE(sample_once(source, store));
  EXPECT_TRUE(store.is_ready());
  EXPECT_EQ(store.tick_counter(), 1u);
  EXPECT_EQ(uptime_in(store), "1");
}

TEST(SampleOnceTest, FailedRefreshPublishesNothingAndSendsNoTick) {
  asio::io_context io;
  auto store = tree::DataStore::create(io.get_executor());
  auto script = std::make_shared<Script>();
  script->failures = {true, false, true};
  ScriptedSource source(script);

  auto failed = sample_once(source, store);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error(), metrics::MetricsError("sensor 1 gone"));
  EXPECT_FALSE(store.is_ready());
  EXPECT_EQ(store.tick_counter(), 0u);

  ASSERT_TRUE(sample_once(source, store));
  const auto published = store.snapshot();
  ASSERT_FALSE(sample_once(source, store));
  EXPECT_EQ(store.snapshot(), published);  // the previous subtree stays
  EXPECT_EQ(store.tick_counter(), 1u);
}

// The sampler on a ready store, run until the script cancels it after a number of calls.
class RunSystemSamplerTest : public ::testing::Test {
 protected:
  void SetUp() override { store.publish_system(tree::DataNode::branch()); }

  void run(const std::shared_ptr<Script>& script, Clock::duration period, std::size_t calls) {
    asio::cancellation_signal signal;
    script->after_call = [&] {
      if (script->calls.size() == calls) signal.emit(asio::cancellation_type::terminal);
    };
    started = Clock::now();
    asio::co_spawn(io, run_system_sampler(std::make_unique<ScriptedSource>(script), store, period),
                   asio::bind_cancellation_slot(signal.slot(), [this](std::exception_ptr e) {
                     completed = true;
                     fault = e;
                   }));
    io.run_for(2s);
    script->after_call = nullptr;
  }

  asio::io_context io;
  tree::DataStore store = tree::DataStore::create(io.get_executor());
  Clock::time_point started;
  bool completed = false;
  std::exception_ptr fault;
};

TEST_F(RunSystemSamplerTest, LongSampleGetsOneImmediateTickThenTheGridResumes) {
  // Long enough that a third of it covers the scheduling noise of a loaded machine.
  const Clock::duration p = 150ms;
  auto script = std::make_shared<Script>();
  // A sample of 2.5 periods, a quick one, one of 0.9 periods, a quick one.
  script->sleeps = {p * 5 / 2, 0ms, p * 9 / 10, 0ms};
  run(script, p, 4);
  ASSERT_TRUE(completed);
  EXPECT_FALSE(fault);
  ASSERT_EQ(script->calls.size(), 4u);
  const auto& c = script->calls;
  const Clock::duration slack = p / 3;
  auto within = [&](Clock::duration got, Clock::duration want) {
    EXPECT_GE(got, want);
    EXPECT_LT(got, want + slack);
  };
  // Grid points are started + k × period (the grid starts a moment after `started`).
  within(c[0] - started, p);          // the timer's first tick takes no sample
  within(c[1] - c[0], p * 5 / 2);     // the overdue tick comes once, at once
  within(c[2] - started, p * 4);      // then the next grid point, not one period later
  within(c[3] - started, p * 5);      // a 0.9-period sample does not delay the next tick
  EXPECT_EQ(store.tick_counter(), 1u + 4u);  // one tick per cycle, nothing made up
}

TEST_F(RunSystemSamplerTest, FailedRefreshWritesOneLineAndStillTicks) {
  auto script = std::make_shared<Script>();
  script->failures = {true, true, false};
  ::testing::internal::CaptureStderr();
  run(script, 10ms, 3);
  const std::string err = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(completed);
  EXPECT_EQ(err, "system metrics refresh failed: sensor 1 gone\nsystem metrics refresh failed: sensor 2 gone\n");
  EXPECT_EQ(store.tick_counter(), 4u);
  EXPECT_EQ(uptime_in(store), "3");  // a success after failures publishes normally
}

// Cancels through the handle between the first cycle (20 ms) and the second (40 ms), then
// ends at once: the handle goes while the task has yet to see the cancellation.
asio::awaitable<void> cancel_and_leave(std::shared_ptr<Script> script, tree::DataStore store) {
  auto executor = co_await asio::this_coro::executor;
  SamplerTask sampler = SamplerTask::spawn(executor, std::make_unique<ScriptedSource>(std::move(script)), store, 20ms);
  asio::steady_timer later(executor, 30ms);
  co_await later.async_wait(asio::as_tuple(asio::use_awaitable));
  sampler.cancel();
}

TEST(SamplerTaskTest, CancelledWhileWaitingEndsWithoutFaultOrFurtherSamples) {
  asio::io_context io;
  auto store = tree::DataStore::create(io.get_executor());
  store.publish_system(tree::DataNode::branch());
  auto script = std::make_shared<Script>();
  ::testing::internal::CaptureStderr();
  asio::co_spawn(io, cancel_and_leave(script, store), asio::detached);
  io.run_for(200ms);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // no fault report
  EXPECT_EQ(script->calls.size(), 1u);
  EXPECT_TRUE(script->destroyed);
  EXPECT_EQ(store.tick_counter(), 2u);
}

// Spawns the sampler, then keeps the thread busy before its own first wait.
asio::awaitable<void> busy_spawner(std::shared_ptr<Script> script, tree::DataStore store, Clock::time_point* spawned) {
  auto executor = co_await asio::this_coro::executor;
  *spawned = Clock::now();
  asio::co_spawn(executor, run_system_sampler(std::make_unique<ScriptedSource>(std::move(script)), store, 20ms),
                 asio::detached);
  std::this_thread::sleep_for(50ms);
  asio::steady_timer forever(executor, asio::steady_timer::time_point::max());
  co_await forever.async_wait(asio::as_tuple(asio::use_awaitable));
}

TEST(SamplerTaskTest, GridStartsWhenTheSpawnerFirstWaits) {
  auto script = std::make_shared<Script>();
  Clock::time_point spawned;
  {
    asio::io_context io;
    auto store = tree::DataStore::create(io.get_executor());
    store.publish_system(tree::DataNode::branch());
    asio::co_spawn(io, busy_spawner(script, store, &spawned), asio::detached);
    io.run_for(120ms);
  }
  ASSERT_FALSE(script->calls.empty());
  // Not an overdue tick at 50 ms: one whole period after the spawner's first wait.
  EXPECT_GE(script->calls[0] - spawned, 70ms);
}

// The parent holds the handle in its own frame; the runtime's shutdown destroys both
// frames in no set order, and nothing may be touched after it is gone.
asio::awaitable<void> parent_of_sampler(std::shared_ptr<Script> script) {
  auto executor = co_await asio::this_coro::executor;
  auto store = tree::DataStore::create(executor);
  store.publish_system(tree::DataNode::branch());
  [[maybe_unused]] SamplerTask sampler =
      SamplerTask::spawn(executor, std::make_unique<ScriptedSource>(std::move(script)), store, 10ms);
  asio::steady_timer forever(executor, asio::steady_timer::time_point::max());
  co_await forever.async_wait(asio::as_tuple(asio::use_awaitable));
}

TEST(SamplerTaskTest, RuntimeShutdownReleasesTheSourceWithoutResuming) {
  auto script = std::make_shared<Script>();
  {
    asio::io_context io;
    asio::co_spawn(io, parent_of_sampler(script), [](std::exception_ptr) {});
    io.run_for(25ms);
  }
  EXPECT_TRUE(script->destroyed);
  EXPECT_GE(script->calls.size(), 1u);
}

}  // namespace
}  // namespace tarnvale::sampler
