// One line of /proc/mounts: its fields, whether it names a listed file system, the
// kernel's escapes in the mount point, and mount points compared as paths.
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

// True when both name the same path component by component: repeated and trailing "/"
// and "." components make no difference.
bool same_path(std::string_view a, std::string_view b);

}  // namespace tarnvale::metrics
