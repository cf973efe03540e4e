// One refresh of the host source plus building the "system" subtree, next to a baseline
// that only opens and reads the same files whole and calls statvfs on the same mounts.
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "metrics/sysinfo_system_metrics_source.hpp"

namespace tarnvale::metrics {
namespace {

// A clock that moves one second per call, so that every refresh takes a CPU reading, as
// the once-a-second sampler does.
HostCalls calls_with_a_fast_clock() {
  HostCalls calls;
  auto now = std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
  calls.monotonic_now = [now] { return *now += std::chrono::seconds(1); };
  return calls;
}

void BM_RefreshAndBuildSystemNode(benchmark::State& state) {
  SysinfoSystemMetricsSource source("/proc", calls_with_a_fast_clock());
  for (auto _ : state) {
    auto snapshot = source.refresh();
    tree::DataNode system = snapshot->to_system_node();
    benchmark::DoNotOptimize(system);
  }
}
BENCHMARK(BM_RefreshAndBuildSystemNode);

void BM_ReadFilesAndStatvfsOnly(benchmark::State& state) {
  SysinfoSystemMetricsSource source("/proc", calls_with_a_fast_clock());
  const SystemSnapshot listed = source.refresh().value();
  std::vector<std::string> mount_points;
  for (const auto& disk : listed.disks) mount_points.push_back(disk.mount_point);
  const char* files[] = {"/proc/meminfo", "/proc/stat", "/proc/mounts", "/proc/loadavg", "/proc/uptime"};
  std::vector<char> buffer(1 << 16);
  for (auto _ : state) {
    for (const char* path : files) {
      const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
      while (::read(fd, buffer.data(), buffer.size()) > 0) {
      }
      ::close(fd);
    }
    for (const auto& mount : mount_points) {
      struct ::statvfs figures {};
      benchmark::DoNotOptimize(::statvfs(mount.c_str(), &figures));
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.counters["mounts"] = static_cast<double>(mount_points.size());
}
BENCHMARK(BM_ReadFilesAndStatvfsOnly);

}  // namespace
}  // namespace tarnvale::metrics
