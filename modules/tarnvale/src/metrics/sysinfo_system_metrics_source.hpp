// The metrics source that reads the kernel directly: meminfo, stat, loadavg, uptime and
// mounts under a proc root, and statvfs of each listed mount point.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "metrics/cpu_readings.hpp"
#include "metrics/disk_list.hpp"
#include "metrics/memory_figures.hpp"
#include "metrics/system_metrics_source.hpp"
#include "metrics/text_file.hpp"
#include "metrics/uptime.hpp"

namespace tarnvale::metrics {

// The kernel calls besides file reads; replaceable so that a source can run on fixtures.
struct HostCalls {
  StatvfsCall statvfs = ::statvfs;
  std::function<std::chrono::steady_clock::time_point()> monotonic_now = std::chrono::steady_clock::now;
  // The uptime when the uptime file cannot be read or parsed; none gives 0.
  std::function<std::optional<std::uint64_t>()> fallback_uptime = sysinfo_uptime;
};

class SysinfoSystemMetricsSource final : public SystemMetricsSource {
 public:
  // Takes the baseline readings: memory, one CPU reading (which makes the per-CPU list)
  // and the disk list. Never fails: what cannot be read stays at 0 or empty.
  explicit SysinfoSystemMetricsSource(const std::string& root = "/proc", HostCalls calls = {});

  static std::unique_ptr<SysinfoSystemMetricsSource> create(const std::string& root = "/proc", HostCalls calls = {}) {
    return std::make_unique<SysinfoSystemMetricsSource>(root, std::move(calls));
  }

  // Always a snapshot: every input that cannot be read has a defined result.
  Result<SystemSnapshot, MetricsError> refresh() override;

 private:
  void read_memory();
  void read_cpus();

  HostCalls calls_;
  TextFile meminfo_;
  TextFile stat_;
  TextFile loadavg_;
  TextFile uptime_;
  TextFile mounts_;
  MemoryFigures memory_;
  CpuReadings cpu_;
  DiskList disks_;
};

}  // namespace tarnvale::metrics
