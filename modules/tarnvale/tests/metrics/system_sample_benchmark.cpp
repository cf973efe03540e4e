// One refresh of the host source plus building the "system" subtree, next to a baseline
// that only reads the same files whole through open descriptors and calls statvfs on the
// same mounts: the least that reading the host costs.
//
// Each runs back to back (argument 0: hot caches) and after a pause of 50 ms before every
// measured iteration (argument 50): the idle service sleeps a second between samples, and
// such a pause already leaves the caches as cold as they are then.
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
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

// Times `body` alone in each iteration, after the pause that the benchmark's argument gives.
template <class Body>
void time_iterations(benchmark::State& state, Body body) {
  const std::chrono::milliseconds pause(state.range(0));
  for (auto _ : state) {
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
    const auto start = std::chrono::steady_clock::now();
    body();
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}

void BM_RefreshAndBuildSystemNode(benchmark::State& state) {
  SysinfoSystemMetricsSource source("/proc", calls_with_a_fast_clock());
  time_iterations(state, [&source] {
    auto snapshot = source.refresh();
    tree::DataNode system = snapshot->to_system_node();
    benchmark::DoNotOptimize(system);
  });
}
BENCHMARK(BM_RefreshAndBuildSystemNode)->Arg(0)->UseManualTime();
BENCHMARK(BM_RefreshAndBuildSystemNode)->Arg(50)->Iterations(40)->UseManualTime();

void BM_ReadFilesAndStatvfsOnly(benchmark::State& state) {
  SysinfoSystemMetricsSource source("/proc", calls_with_a_fast_clock());
  const SystemSnapshot listed = source.refresh().value();
  std::vector<std::string> mount_points;
  for (const auto& disk : listed.disks) mount_points.push_back(disk.mount_point);
  std::array<int, 5> fds{};
  const char* files[] = {"/proc/meminfo", "/proc/stat", "/proc/mounts", "/proc/loadavg", "/proc/uptime"};
  for (std::size_t i = 0; i < fds.size(); ++i) fds[i] = ::open(files[i], O_RDONLY | O_CLOEXEC);
  std::vector<char> buffer(1 << 16);
  time_iterations(state, [&] {
    for (const int fd : fds) {
      std::size_t length = 0;
      for (ssize_t n; (n = ::pread(fd, buffer.data() + length, buffer.size() - length, static_cast<off_t>(length))) > 0;) {
        length += static_cast<std::size_t>(n);
      }
    }
    for (const auto& mount : mount_points) {
      struct ::statvfs figures {};
      benchmark::DoNotOptimize(::statvfs(mount.c_str(), &figures));
    }
    benchmark::DoNotOptimize(buffer.data());
  });
  for (const int fd : fds) ::close(fd);
  state.counters["mounts"] = static_cast<double>(mount_points.size());
}
BENCHMARK(BM_ReadFilesAndStatvfsOnly)->Arg(0)->UseManualTime();
BENCHMARK(BM_ReadFilesAndStatvfsOnly)->Arg(50)->Iterations(40)->UseManualTime();

}  // namespace
}  // namespace tarnvale::metrics
