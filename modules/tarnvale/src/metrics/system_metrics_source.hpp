// The interface of a metrics source: each refresh yields a new reading of the host or a
// failure.
#pragma once

#include "metrics/metrics_error.hpp"
#include "metrics/system_snapshot.hpp"
#include "platform/result.hpp"

namespace tarnvale::metrics {

class SystemMetricsSource {
 public:
  virtual ~SystemMetricsSource() = default;
  // Runs synchronously on the calling thread; updates the source's stored readings.
  virtual Result<SystemSnapshot, MetricsError> refresh() = 0;
};

}  // namespace tarnvale::metrics
