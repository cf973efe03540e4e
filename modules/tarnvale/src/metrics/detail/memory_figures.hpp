// Memory and swap figures from /proc/meminfo, kept from one reading to the next.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnvale::metrics {

// The figures one meminfo text holds, in bytes (KiB × 1024, held at 2^64 − 1); a key
// without a line in the text is absent.
struct MeminfoLines {
  std::optional<std::uint64_t> mem_total{};
  std::optional<std::uint64_t> mem_available{};
  std::optional<std::uint64_t> swap_total{};
  std::optional<std::uint64_t> swap_free{};
  // For kernels without MemAvailable.
  std::optional<std::uint64_t> mem_free{};
  std::optional<std::uint64_t> buffers{};
  std::optional<std::uint64_t> cached{};
  std::optional<std::uint64_t> s_reclaimable{};
  std::optional<std::uint64_t> shmem{};

  friend bool operator==(const MeminfoLines&, const MeminfoLines&) = default;
};

MeminfoLines parse_meminfo(std::string_view text);

class MemoryFigures {
 public:
  // Takes the figures present in `lines` (none when the file could not be read); a figure
  // without a line keeps its previous value. Without a MemAvailable line, available memory
  // is MemFree + Buffers + Cached + SReclaimable − Shmem.
  void update(const MeminfoLines& lines);

  std::uint64_t total() const { return total_; }
  std::uint64_t available() const { return available_; }
  std::uint64_t swap_total() const { return swap_total_; }
  std::uint64_t swap_free() const { return swap_free_; }

 private:
  std::uint64_t total_ = 0;
  std::uint64_t available_ = 0;
  std::uint64_t swap_total_ = 0;
  std::uint64_t swap_free_ = 0;
  std::uint64_t free_ = 0;
  std::uint64_t buffers_ = 0;
  std::uint64_t cached_ = 0;
  std::uint64_t s_reclaimable_ = 0;
  std::uint64_t shmem_ = 0;
};

}  // namespace tarnvale::metrics
