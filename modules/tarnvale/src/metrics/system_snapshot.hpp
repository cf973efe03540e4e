// One reading of the host, and the "system" subtree built from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tree/data_node.hpp"

namespace tarnvale::metrics {

struct CpuMetrics {
  std::string node_name;  // canonical, not yet unique
  double usage_percent = 0.0;

  friend bool operator==(const CpuMetrics&, const CpuMetrics&) = default;
};

struct DiskMetrics {
  std::string node_name;  // canonical, not yet unique
  std::string device_name;
  std::string mount_point;
  std::uint64_t total_bytes = 0;
  std::uint64_t available_bytes = 0;

  friend bool operator==(const DiskMetrics&, const DiskMetrics&) = default;
};

struct SystemSnapshot {
  std::vector<CpuMetrics> cpus;
  std::vector<DiskMetrics> disks;
  std::uint64_t memory_free_bytes = 0;
  std::uint64_t memory_used_bytes = 0;
  std::uint64_t swap_total_bytes = 0;
  std::uint64_t swap_free_bytes = 0;
  std::uint64_t swap_used_bytes = 0;
  double cpu_usage_percent = 0.0;
  double load_average_one = 0.0;
  double load_average_five = 0.0;
  double load_average_fifteen = 0.0;
  std::uint64_t uptime_seconds = 0;

  // The "system" branch: memory (with swap), cpu (all, one leaf per CPU, load_average),
  // uptime and disks, with unique CPU and disk names and rounded percentages.
  tree::DataNode to_system_node() const;

  friend bool operator==(const SystemSnapshot&, const SystemSnapshot&) = default;
};

}  // namespace tarnvale::metrics
