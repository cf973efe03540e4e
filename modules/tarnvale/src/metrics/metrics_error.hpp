// A metrics failure: one message, which is also its displayed form.
#pragma once

#include <string>

namespace tarnvale::metrics {

class MetricsError {
 public:
  explicit MetricsError(std::string message) : message_(std::move(message)) {}

  const std::string& message() const { return message_; }
  // The message exactly as stored.
  const std::string& display() const { return message_; }
  // MetricsError { message: "<message, quoted and escaped>" }
  std::string debug() const;

  friend bool operator==(const MetricsError&, const MetricsError&) = default;

 private:
  std::string message_;
};

}  // namespace tarnvale::metrics
