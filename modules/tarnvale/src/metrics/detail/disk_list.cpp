#include "metrics/detail/disk_list.hpp"

#include <cerrno>

#include "metrics/detail/mount_line.hpp"
#include "metrics/detail/saturating.hpp"
#include "metrics/detail/text_lines.hpp"

namespace tarnvale::metrics {

void DiskList::pass(std::optional<std::string_view> mounts, bool remove_unseen) {
  std::string_view text = mounts.value_or(std::string_view());
  while (!text.empty()) {
    const MountLine line = parse_mount_line(take_line(text));
    // A blank line names no file system.
    if (line.device.empty() || !is_listed(line)) continue;
    decode_mount_point(line.mount_point, mount_point_);
    path_key(mount_point_, key_);
    const auto [position, added] = positions_.try_emplace(key_, entries_.size());
    if (added) entries_.push_back(DiskEntry{std::string(line.device), mount_point_, 0, 0, false});
    DiskEntry& entry = entries_[position->second];
    read_space(entry);
    entry.seen = true;
  }
  if (remove_unseen && std::erase_if(entries_, [](const DiskEntry& e) { return !e.seen; }) > 0) reindex();
  for (DiskEntry& e : entries_) e.seen = false;
}

void DiskList::reindex() {
  positions_.clear();
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    path_key(entries_[i].mount_point, key_);
    positions_.emplace(key_, i);
  }
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
