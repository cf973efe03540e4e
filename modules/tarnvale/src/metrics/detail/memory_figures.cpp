#include "metrics/detail/memory_figures.hpp"

#include "metrics/detail/decimal.hpp"
#include "metrics/detail/saturating.hpp"
#include "metrics/detail/text_lines.hpp"
#include "metrics/detail/white_space.hpp"

namespace tarnvale::metrics {

namespace {

std::optional<std::uint64_t> MeminfoLines::*field_of(std::string_view key) {
  if (key == "MemTotal") return &MeminfoLines::mem_total;
  if (key == "MemAvailable") return &MeminfoLines::mem_available;
  if (key == "SwapTotal") return &MeminfoLines::swap_total;
  if (key == "SwapFree") return &MeminfoLines::swap_free;
  if (key == "MemFree") return &MeminfoLines::mem_free;
  if (key == "Buffers") return &MeminfoLines::buffers;
  if (key == "Cached") return &MeminfoLines::cached;
  if (key == "SReclaimable") return &MeminfoLines::s_reclaimable;
  if (key == "Shmem") return &MeminfoLines::shmem;
  return nullptr;
}

void keep(std::uint64_t& figure, const std::optional<std::uint64_t>& line) {
  if (line) figure = *line;
}

}  // namespace

MeminfoLines parse_meminfo(std::string_view text) {
  MeminfoLines lines;
  while (!text.empty()) {
    const std::string_view line = take_line(text);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const auto field = field_of(line.substr(0, colon));
    if (field == nullptr) continue;
    std::string_view rest = trim_start_white_space(line.substr(colon + 1));
    rest = rest.substr(0, rest.find(' '));
    if (const auto kib = parse_decimal(rest)) lines.*field = saturating_mul(*kib, 1024);
  }
  return lines;
}

void MemoryFigures::update(const MeminfoLines& lines) {
  keep(total_, lines.mem_total);
  keep(swap_total_, lines.swap_total);
  keep(swap_free_, lines.swap_free);
  keep(free_, lines.mem_free);
  keep(buffers_, lines.buffers);
  keep(cached_, lines.cached);
  keep(s_reclaimable_, lines.s_reclaimable);
  keep(shmem_, lines.shmem);
  if (lines.mem_available) {
    available_ = *lines.mem_available;
  } else {
    const std::uint64_t sum = saturating_add(saturating_add(saturating_add(free_, buffers_), cached_), s_reclaimable_);
    available_ = saturating_sub(sum, shmem_);
  }
}

}  // namespace tarnvale::metrics
