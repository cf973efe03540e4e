// The metrics source that reads the kernel directly: meminfo, stat, loadavg, uptime and
// mounts under a proc root, and statvfs of each listed mount point.
#pragma once

#include <memory>
#include <string>

#include "metrics/host_calls.hpp"
#include "metrics/system_metrics_source.hpp"

namespace tarnvale::metrics {

class SysinfoSystemMetricsSource final : public SystemMetricsSource {
 public:
  // Takes the baseline readings: memory, one CPU reading (which makes the per-CPU list)
  // and the disk list. Never fails: what cannot be read stays at 0 or empty.
  explicit SysinfoSystemMetricsSource(const std::string& root = "/proc", HostCalls calls = {});
  ~SysinfoSystemMetricsSource() override;

  static std::unique_ptr<SysinfoSystemMetricsSource> create(const std::string& root = "/proc", HostCalls calls = {}) {
    return std::make_unique<SysinfoSystemMetricsSource>(root, std::move(calls));
  }

  // Always a snapshot: every input that cannot be read has a defined result.
  Result<SystemSnapshot, MetricsError> refresh() override;

 private:
  // The open files and the readings kept between refreshes.
  struct Readings;

  HostCalls calls_;
  std::unique_ptr<Readings> readings_;
};

}  // namespace tarnvale::metrics
