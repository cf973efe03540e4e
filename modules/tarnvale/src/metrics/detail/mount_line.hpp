// One line of /proc/mounts: its fields, whether it names a listed file system, the
// kernel's escapes in the mount point, and the mount point as a path.
#pragma once

#include <string>
#include <string_view>

namespace tarnvale::metrics {

struct MountLine {
  std::string_view device;       // as written, never decoded
  std::string_view mount_point;  // still escaped
  std::string_view fs_type;
};

// Fields split at runs of white space; missing fields are empty.
MountLine parse_mount_line(std::string_view line);

// False for pseudo, memory, network, automount and read-only image file systems, for
// mount points under /sys, /proc and /run (except /run/media), and for sunrpc devices.
// The prefixes are plain text: /sysroot and /running are left out too.
bool is_listed(const MountLine& line);

// Replaces `out` with `escaped` where \040, \011, \012 and \134 stand for a space, a tab,
// a line feed and a backslash; everything else is copied unchanged.
void decode_mount_point(std::string_view escaped, std::string& out);

// Replaces `out` with the components of `path` joined by "/", after a "/" if `path` is
// absolute. Two paths with equal keys name the same path component by component: repeated
// and trailing "/" and "." components make no difference.
void path_key(std::string_view path, std::string& out);

}  // namespace tarnvale::metrics
