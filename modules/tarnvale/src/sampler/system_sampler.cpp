#include "sampler/system_sampler.hpp"

#include <stdexcept>
#include <string>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "platform/error_log.hpp"
#include "platform/fault.hpp"
#include "sampler/sample_once.hpp"
#include "sampler/detail/tick_schedule.hpp"

namespace tarnvale::sampler {

namespace asio = boost::asio;

namespace {

void report_refresh_failure(const metrics::MetricsError& error) {
  platform::write_error_line(platform::LineKind::refresh_failure, {"system metrics refresh failed: ", error.display()});
}

bool is_cancelled(const asio::cancellation_state& state) {
  return state.cancelled() != asio::cancellation_type::none;
}

}  // namespace

asio::awaitable<void> run_system_sampler(std::unique_ptr<metrics::SystemMetricsSource> source,
                                         tree::DataStore store, std::chrono::nanoseconds period) {
  if (!source) throw std::invalid_argument("sampler needs a metrics source");
  if (period <= std::chrono::nanoseconds::zero()) throw std::invalid_argument("sampler period must be positive");
  // Cancellation ends the task quietly at its next look below, instead of as an exception.
  co_await asio::this_coro::throw_if_cancelled(false);
  const auto cancellation = co_await asio::this_coro::cancellation_state;
  auto executor = co_await asio::this_coro::executor;
  // co_spawn runs a coroutine inline up to its first wait; the task's life, and so its
  // grid, starts only once the spawner itself waits.
  co_await asio::post(executor, asio::use_awaitable);
  asio::steady_timer timer(executor);
  const auto step = std::chrono::duration_cast<Clock::duration>(period);
  Clock::time_point deadline = Clock::now();
  for (bool first = true; !is_cancelled(cancellation); first = false) {
    timer.expires_at(deadline);
    co_await timer.async_wait(asio::as_tuple(asio::use_awaitable));
    // Also when the wait had completed before the cancellation arrived.
    if (is_cancelled(cancellation)) co_return;
    deadline = next_deadline(deadline, step, Clock::now());
    if (first) continue;
    if (auto sampled = sample_once(*source, store); !sampled) {
      report_refresh_failure(sampled.error());
      store.notify_tick();
    }
  }
}

SamplerTask SamplerTask::spawn(const asio::any_io_executor& executor,
                               std::unique_ptr<metrics::SystemMetricsSource> source, tree::DataStore store,
                               std::chrono::nanoseconds period) {
  auto signal = std::make_shared<asio::cancellation_signal>();
  asio::co_spawn(executor, run_system_sampler(std::move(source), std::move(store), period),
                 asio::bind_cancellation_slot(signal->slot(), [signal](std::exception_ptr fault) {
                   if (fault) platform::report_fault("sampler", fault);
                 }));
  return SamplerTask(std::move(signal));
}

void SamplerTask::cancel() { signal_->emit(asio::cancellation_type::terminal); }

}  // namespace tarnvale::sampler
