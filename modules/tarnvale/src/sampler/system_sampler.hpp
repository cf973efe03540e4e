// The sampler task: one sample per period on a fixed grid, one tick per cycle; and the
// handle through which its spawner cancels it.
#pragma once

#include <chrono>
#include <memory>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/cancellation_signal.hpp>

#include "metrics/system_metrics_source.hpp"
#include "tree/data_store.hpp"

namespace tarnvale::sampler {

// Never completes by itself; ends when cancelled (terminal cancellation through the
// co_spawn slot). The grid starts when the task first runs: its first tick, due at once,
// takes no sample. A failed refresh writes "system metrics refresh failed: <message>" to
// standard error and still sends a tick. `period` must be greater than zero.
boost::asio::awaitable<void> run_system_sampler(std::unique_ptr<metrics::SystemMetricsSource> source,
                                                tree::DataStore store, std::chrono::nanoseconds period);

class SamplerTask {
 public:
  // Runs run_system_sampler as a task of its own on `executor`; it first runs when the
  // caller next waits. A fault inside it is reported and ends that task alone.
  static SamplerTask spawn(const boost::asio::any_io_executor& executor,
                           std::unique_ptr<metrics::SystemMetricsSource> source, tree::DataStore store,
                           std::chrono::nanoseconds period);

  // Ends the task at the wait where it stands; it takes no further sample. The handle may
  // be dropped right after, while the task has yet to see the cancellation.
  void cancel();

 private:
  explicit SamplerTask(std::shared_ptr<boost::asio::cancellation_signal> signal) : signal_(std::move(signal)) {}

  // Also held by the task's completion handler: the task reads the signal's state until it
  // ends, so the signal must not go with the handle.
  std::shared_ptr<boost::asio::cancellation_signal> signal_;
};

}  // namespace tarnvale::sampler
