// The sampler task: one sample per period on a fixed grid, one tick per cycle.
#pragma once

#include <chrono>
#include <memory>

#include <boost/asio/awaitable.hpp>

#include "metrics/system_metrics_source.hpp"
#include "tree/data_store.hpp"

namespace tarnvale::sampler {

// Never completes by itself; ends when cancelled (terminal cancellation through the
// co_spawn slot). The grid starts when the task first runs: its first tick, due at once,
// takes no sample. A failed refresh writes "system metrics refresh failed: <message>" to
// standard error and still sends a tick. `period` must be greater than zero.
boost::asio::awaitable<void> run_system_sampler(std::unique_ptr<metrics::SystemMetricsSource> source,
                                                tree::DataStore store, std::chrono::nanoseconds period);

}  // namespace tarnvale::sampler
