#include "metrics/disk_list.hpp"

#include <algorithm>
#include <cerrno>

#include "metrics/mount_line.hpp"
#include "metrics/saturating.hpp"
#include "metrics/text_lines.hpp"

namespace tarnvale::metrics {

void DiskList::pass(std::optional<std::string_view> mounts, bool remove_unseen) {
  std::string_view text = mounts.value_or(std::string_view());
  while (!text.empty()) {
    const MountLine line = parse_mount_line(take_line(text));
    // A blank line names no file system.
    if (line.device.empty() || !is_listed(line)) continue;
    decode_mount_point(line.mount_point, mount_point_);
    const auto match = std::find_if(entries_.begin(), entries_.end(),
                                    [this](const DiskEntry& e) { return same_path(e.mount_point, mount_point_); });
    if (match != entries_.end()) {
      read_space(*match);
      match->seen = true;
    } else {
      DiskEntry& entry = entries_.emplace_back(DiskEntry{std::string(line.device), mount_point_, 0, 0, true});
      read_space(entry);
    }
  }
  if (remove_unseen) std::erase_if(entries_, [](const DiskEntry& e) { return !e.seen; });
  for (DiskEntry& e : entries_) e.seen = false;
}

void DiskList::read_space(DiskEntry& entry) const {
  struct ::statvfs figures {};
  int rc;
  do {
    rc = statvfs_(entry.mount_point.c_str(), &figures);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return;
  const std::uint64_t fragment = figures.f_frsize;
  const std::uint64_t total = saturating_mul(fragment, figures.f_blocks);
  if (total == 0) return;
  entry.total_bytes = total;
  entry.available_bytes = saturating_mul(fragment, figures.f_bavail);
}

}  // namespace tarnvale::metrics
