#include "main/main_task.hpp"

#include <chrono>
#include <memory>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "metrics/sysinfo_system_metrics_source.hpp"
#include "sampler/sample_once.hpp"
#include "sampler/system_sampler.hpp"
#include "server/listener.hpp"
#include "tree/data_store.hpp"

namespace tarnvale::main {

namespace asio = boost::asio;

namespace {

constexpr std::chrono::seconds kStartupWait{1};
constexpr std::chrono::seconds kSamplerPeriod{1};
constexpr std::string_view kListenAddress = "0.0.0.0:8083";

}  // namespace

asio::awaitable<MainResult> main_task() {
  auto executor = co_await asio::this_coro::executor;
  auto store = tree::DataStore::create(executor);
  std::unique_ptr<metrics::SystemMetricsSource> source = metrics::SysinfoSystemMetricsSource::create();

  asio::steady_timer wait(executor);
  wait.expires_after(kStartupWait);
  co_await wait.async_wait(asio::as_tuple(asio::use_awaitable));

  // The start-up sample is published before anything listens, so every connection finds
  // the store ready. Its failure ends start-up; the error is written at the process end.
  if (auto sampled = sampler::sample_once(*source, store); !sampled) {
    co_return unexpected(platform::IoError::custom("Other", sampled.error().debug()));
  }

  // The sampler first runs when this task first waits.
  sampler::SamplerTask sampler_task = sampler::SamplerTask::spawn(executor, std::move(source), store, kSamplerPeriod);

  // Accepts for the rest of the process; completes only with the error that ended it.
  MainResult served = co_await server::serve(kListenAddress, std::move(store));

  sampler_task.cancel();
  co_return served;
}

}  // namespace tarnvale::main
