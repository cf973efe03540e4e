// The mounted file systems listed from /proc/mounts, in the order they first appeared,
// with the space figures of each one's last successful statvfs.
#pragma once

#include <sys/statvfs.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "metrics/host_calls.hpp"

namespace tarnvale::metrics {

struct DiskEntry {
  std::string device_name;  // as first listed, never decoded
  std::string mount_point;  // decoded
  std::uint64_t total_bytes = 0;
  std::uint64_t available_bytes = 0;
  bool seen = false;  // within one pass only

  friend bool operator==(const DiskEntry&, const DiskEntry&) = default;
};

class DiskList {
 public:
  explicit DiskList(StatvfsCall statvfs) : statvfs_(std::move(statvfs)) {}

  // One pass over the mounts text (none: the file could not be read, so no file system is
  // seen): entries are matched by mount point and read again, new ones appended.
  void build(std::optional<std::string_view> mounts) { pass(mounts, false); }
  // A pass that also removes the entries not seen in it; the others keep their order.
  void refresh(std::optional<std::string_view> mounts) { pass(mounts, true); }

  const std::vector<DiskEntry>& entries() const { return entries_; }

 private:
  void pass(std::optional<std::string_view> mounts, bool remove_unseen);
  // statvfs retried on EINTR; a failure or a total of 0 keeps the previous figures.
  void read_space(DiskEntry& entry) const;
  void reindex();

  StatvfsCall statvfs_;
  std::vector<DiskEntry> entries_;
  // The position in entries_ of each entry, by the path key of its mount point, so that a
  // pass matches each line at once, however many file systems are mounted.
  std::unordered_map<std::string, std::size_t> positions_;
  // Scratch for one line, kept to avoid allocations per line.
  std::string mount_point_;
  std::string key_;
};

}  // namespace tarnvale::metrics
