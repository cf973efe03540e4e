#include "metrics/metrics_error.hpp"

#include "platform/io_error.hpp"

namespace tarnvale::metrics {

std::string MetricsError::debug() const {
  return "MetricsError { message: " + platform::debug_quote(message_) + " }";
}

}  // namespace tarnvale::metrics
