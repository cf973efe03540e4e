#include "metrics/sysinfo_system_metrics_source.hpp"

#include <algorithm>
#include <cmath>

#include "metrics/detail/cpu_readings.hpp"
#include "metrics/detail/disk_list.hpp"
#include "metrics/detail/load_average.hpp"
#include "metrics/detail/memory_figures.hpp"
#include "metrics/detail/node_name.hpp"
#include "metrics/detail/saturating.hpp"
#include "metrics/detail/text_file.hpp"
#include "metrics/detail/uptime.hpp"
#include "platform/utf8.hpp"

namespace tarnvale::metrics {

namespace {

double clamp_usage(float usage) {
  const double wide = usage;
  if (!std::isfinite(wide)) return 0.0;
  return std::clamp(wide, 0.0, 100.0);
}

bool has_visible_character(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (!platform::is_white_space(platform::decode_utf8(text, pos))) return true;
  }
  return false;
}

}  // namespace

struct SysinfoSystemMetricsSource::Readings {
  Readings(const std::string& root, const HostCalls& calls)
      : meminfo(root + "/meminfo"),
        stat(root + "/stat"),
        loadavg(root + "/loadavg"),
        uptime(root + "/uptime"),
        mounts(root + "/mounts"),
        disks(calls.statvfs) {}

  void read_memory() {
    const auto text = meminfo.read();
    memory.update(text ? parse_meminfo(*text) : MeminfoLines{});
  }

  void read_cpus(std::chrono::steady_clock::time_point now) {
    if (!cpu.begin_reading(now)) return;
    if (const auto text = stat.read()) cpu.update(*text);
  }

  TextFile meminfo;
  TextFile stat;
  TextFile loadavg;
  TextFile uptime;
  TextFile mounts;
  MemoryFigures memory;
  CpuReadings cpu;
  DiskList disks;
};

SysinfoSystemMetricsSource::SysinfoSystemMetricsSource(const std::string& root, HostCalls calls)
    : calls_(std::move(calls)), readings_(std::make_unique<Readings>(root, calls_)) {
  readings_->read_memory();
  readings_->read_cpus(calls_.monotonic_now());
  readings_->disks.build(readings_->mounts.read());
}

SysinfoSystemMetricsSource::~SysinfoSystemMetricsSource() = default;

Result<SystemSnapshot, MetricsError> SysinfoSystemMetricsSource::refresh() {
  Readings& r = *readings_;
  r.read_memory();
  r.read_cpus(calls_.monotonic_now());
  r.disks.refresh(r.mounts.read());
  const auto loadavg_text = r.loadavg.read();
  const LoadAverage load = loadavg_text ? parse_loadavg(*loadavg_text) : LoadAverage{};

  SystemSnapshot s;
  s.memory_free_bytes = r.memory.available();
  s.memory_used_bytes = saturating_sub(r.memory.total(), r.memory.available());
  s.swap_total_bytes = r.memory.swap_total();
  s.swap_free_bytes = r.memory.swap_free();
  s.swap_used_bytes = saturating_sub(r.memory.swap_total(), r.memory.swap_free());

  s.cpus.reserve(r.cpu.cpus().size());
  for (const CpuEntry& cpu : r.cpu.cpus()) s.cpus.push_back(CpuMetrics{cpu.node_name, clamp_usage(cpu.usage)});

  const auto& entries = r.disks.entries();
  s.disks.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const DiskEntry& e = entries[i];
    // The texts are valid UTF-8 already: the mounts file was read as UTF-8 text.
    const std::string& naming = has_visible_character(e.device_name) ? e.device_name : e.mount_point;
    s.disks.push_back(DiskMetrics{canonical_node_name(naming, "disk" + std::to_string(i)), e.device_name,
                                  e.mount_point, e.total_bytes, e.available_bytes});
  }

  s.cpu_usage_percent = clamp_usage(r.cpu.overall());
  s.load_average_one = load.one;
  s.load_average_five = load.five;
  s.load_average_fifteen = load.fifteen;

  const auto uptime_text = r.uptime.read();
  std::optional<std::uint64_t> uptime = uptime_text ? parse_uptime(*uptime_text) : std::nullopt;
  if (!uptime && calls_.fallback_uptime) uptime = calls_.fallback_uptime();
  s.uptime_seconds = uptime.value_or(0);
  return s;
}

}  // namespace tarnvale::metrics
