// One refresh pass of the disk list on a host with many mounts, as container hosts have:
// every line is matched against the list once a second.
#include <sys/statvfs.h>

#include <cstdio>
#include <string>

#include <benchmark/benchmark.h>

#include "metrics/detail/disk_list.hpp"

namespace tarnvale::metrics {
namespace {

// Overlay mounts whose paths differ only deep inside, the worst case for matching.
std::string overlay_mounts(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    char line[160];
    std::snprintf(line, sizeof line, "overlay /var/lib/docker/overlay2/%064x/merged overlay rw 0 0\n",
                  static_cast<unsigned>(i) * 2654435761u);
    text += line;
  }
  return text;
}

void BM_RefreshManyMounts(benchmark::State& state) {
  const std::string mounts = overlay_mounts(static_cast<int>(state.range(0)));
  DiskList list([](const char*, struct ::statvfs* out) {
    *out = {};
    out->f_frsize = 4096;
    out->f_blocks = 10;
    return 0;
  });
  list.build(mounts);
  for (auto _ : state) {
    list.refresh(mounts);
    benchmark::DoNotOptimize(list.entries().data());
  }
}
BENCHMARK(BM_RefreshManyMounts)->Arg(30)->Arg(300)->Arg(3000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tarnvale::metrics
