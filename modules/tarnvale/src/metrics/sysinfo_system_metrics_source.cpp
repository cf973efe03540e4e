#include "metrics/sysinfo_system_metrics_source.hpp"

#include <algorithm>
#include <cmath>

#include "metrics/load_average.hpp"
#include "metrics/node_name.hpp"
#include "metrics/saturating.hpp"
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

SysinfoSystemMetricsSource::SysinfoSystemMetricsSource(const std::string& root, HostCalls calls)
    : calls_(std::move(calls)),
      meminfo_(root + "/meminfo"),
      stat_(root + "/stat"),
      loadavg_(root + "/loadavg"),
      uptime_(root + "/uptime"),
      mounts_(root + "/mounts"),
      disks_(calls_.statvfs) {
  read_memory();
  read_cpus();
  disks_.build(mounts_.read());
}

void SysinfoSystemMetricsSource::read_memory() {
  const auto text = meminfo_.read();
  memory_.update(text ? parse_meminfo(*text) : MeminfoLines{});
}

void SysinfoSystemMetricsSource::read_cpus() {
  if (!cpu_.begin_reading(calls_.monotonic_now())) return;
  if (const auto text = stat_.read()) cpu_.update(*text);
}

Result<SystemSnapshot, MetricsError> SysinfoSystemMetricsSource::refresh() {
  read_memory();
  read_cpus();
  disks_.refresh(mounts_.read());
  const auto loadavg_text = loadavg_.read();
  const LoadAverage load = loadavg_text ? parse_loadavg(*loadavg_text) : LoadAverage{};

  SystemSnapshot s;
  s.memory_free_bytes = memory_.available();
  s.memory_used_bytes = saturating_sub(memory_.total(), memory_.available());
  s.swap_total_bytes = memory_.swap_total();
  s.swap_free_bytes = memory_.swap_free();
  s.swap_used_bytes = saturating_sub(memory_.swap_total(), memory_.swap_free());

  s.cpus.reserve(cpu_.cpus().size());
  for (const CpuEntry& cpu : cpu_.cpus()) s.cpus.push_back(CpuMetrics{cpu.node_name, clamp_usage(cpu.usage)});

  const auto& entries = disks_.entries();
  s.disks.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const DiskEntry& e = entries[i];
    // The texts are valid UTF-8 already: the mounts file was read as UTF-8 text.
    const std::string& naming = has_visible_character(e.device_name) ? e.device_name : e.mount_point;
    s.disks.push_back(DiskMetrics{canonical_node_name(naming, "disk" + std::to_string(i)), e.device_name,
                                  e.mount_point, e.total_bytes, e.available_bytes});
  }

  s.cpu_usage_percent = clamp_usage(cpu_.overall());
  s.load_average_one = load.one;
  s.load_average_five = load.five;
  s.load_average_fifteen = load.fifteen;

  const auto uptime_text = uptime_.read();
  std::optional<std::uint64_t> uptime = uptime_text ? parse_uptime(*uptime_text) : std::nullopt;
  if (!uptime && calls_.fallback_uptime) uptime = calls_.fallback_uptime();
  s.uptime_seconds = uptime.value_or(0);
  return s;
}

}  // namespace tarnvale::metrics
