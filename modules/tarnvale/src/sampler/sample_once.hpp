// One sample: refresh the metrics source, build the "system" subtree, publish it.
#pragma once

#include "metrics/system_metrics_source.hpp"
#include "platform/result.hpp"
#include "tree/data_store.hpp"

namespace tarnvale::sampler {

// On a failed refresh nothing is built or published and no tick is sent; the source's
// error comes back unchanged. Publishing sends the next tick.
Result<void, metrics::MetricsError> sample_once(metrics::SystemMetricsSource& source, tree::DataStore& store);

}  // namespace tarnvale::sampler
