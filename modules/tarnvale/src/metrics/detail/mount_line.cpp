#include "metrics/detail/mount_line.hpp"

#include <algorithm>
#include <array>

#include "metrics/detail/white_space.hpp"

namespace tarnvale::metrics {

namespace {

constexpr std::array<std::string_view, 18> kUnlistedTypes = {
    "rootfs", "sysfs",      "proc",   "devtmpfs", "cgroup",    "cgroup2", "pstore", "squashfs", "rpc_pipefs",
    "iso9660", "devpts", "hugetlbfs", "mqueue", "tmpfs",    "cifs",      "nfs",     "nfs4",   "autofs",
};

// The next path component of `path` from pos, skipping separators and "." components
// (except a leading "." of a relative path); empty at the end.
std::string_view next_component(std::string_view path, std::size_t& pos) {
  for (;;) {
    while (pos < path.size() && path[pos] == '/') ++pos;
    if (pos >= path.size()) return {};
    const std::size_t start = pos;
    pos = std::min(path.find('/', pos), path.size());
    const std::string_view component = path.substr(start, pos - start);
    if (component != "." || start == 0) return component;
  }
}

}  // namespace

MountLine parse_mount_line(std::string_view line) {
  std::size_t pos = 0;
  MountLine fields;
  fields.device = next_field(line, pos);
  fields.mount_point = next_field(line, pos);
  fields.fs_type = next_field(line, pos);
  return fields;
}

bool is_listed(const MountLine& line) {
  if (std::find(kUnlistedTypes.begin(), kUnlistedTypes.end(), line.fs_type) != kUnlistedTypes.end()) return false;
  const std::string_view mount = line.mount_point;
  if (mount.starts_with("/sys") || mount.starts_with("/proc")) return false;
  if (mount.starts_with("/run") && !mount.starts_with("/run/media")) return false;
  return !line.device.starts_with("sunrpc");
}

void decode_mount_point(std::string_view escaped, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    char decoded = 0;
    if (escaped[i] == '\\') {
      const std::string_view code = escaped.substr(i + 1, 3);
      if (code == "040") decoded = ' ';
      else if (code == "011") decoded = '\t';
      else if (code == "012") decoded = '\n';
      else if (code == "134") decoded = '\\';
    }
    if (decoded != 0) {
      out.push_back(decoded);
      i += 3;
    } else {
      out.push_back(escaped[i]);
    }
  }
}

void path_key(std::string_view path, std::string& out) {
  out.clear();
  if (path.starts_with('/')) out.push_back('/');
  std::size_t pos = 0;
  for (std::string_view component = next_component(path, pos); !component.empty();
       component = next_component(path, pos)) {
    if (!out.empty() && out.back() != '/') out.push_back('/');
    out.append(component);
  }
}

}  // namespace tarnvale::metrics
