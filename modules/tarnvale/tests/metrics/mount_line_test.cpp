// Fields of /proc/mounts lines, which file systems are listed, escapes and path matching.
#include "metrics/detail/mount_line.hpp"

#include <gtest/gtest.h>

namespace tarnvale::metrics {
namespace {

TEST(ParseMountLineTest, FieldsSplitAtRunsOfWhiteSpace) {
  struct Case {
    const char* line;
    const char* device;
    const char* mount_point;
    const char* fs_type;
  } cases[] = {
      {"/dev/sda1 / ext4 rw 0 0", "/dev/sda1", "/", "ext4"},
      {"  /dev/sda1 \t /home\\040x   xfs rw", "/dev/sda1", "/home\\040x", "xfs"},
      {"a\xC2\xA0" "b /m ext4", "a", "b", "/m"},  // U+00A0 is white space
      {"/dev/sdb1 /mnt", "/dev/sdb1", "/mnt", ""},
      {"", "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const MountLine line = parse_mount_line(c.line);
    EXPECT_EQ(line.device, c.device);
    EXPECT_EQ(line.mount_point, c.mount_point);
    EXPECT_EQ(line.fs_type, c.fs_type);
  }
}

TEST(IsListedTest, LeavesOutExcludedTypesMountPointsAndDevices) {
  struct Case {
    const char* line;
    bool listed;
  } cases[] = {
      {"/dev/sda1 / ext4", true},
      {"/dev/sdb1 /run/media/u/stick vfat", true},
      {"/dev/sdb1 /run/media vfat", true},
      {"/dev/sdb1 /run/mediax vfat", true},  // a text prefix, not a path prefix
      {"overlay /var/lib/docker/overlay2/x/merged overlay", true},
      {"/dev/sda3 /sysroot xfs", false},
      {"/dev/sda4 /running ext4", false},
      {"/dev/sdc1 /run/x ext4", false},
      {"/dev/sdc1 /run ext4", false},
      {"/dev/sda5 /proc2 ext4", false},
      {"/dev/sda6 /sys ext4", false},
      {"sunrpc /var/lib/nfs/rpc_pipefs rpc_pipefs", false},
      {"sunrpc-store /srv/rpc ext4", false},
      {"xsunrpc /srv/rpc ext4", true},
      {"/dev/sda1 /mnt EXT4", true},
      {"/dev/sda1 /mnt tmpfs2", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(is_listed(parse_mount_line(c.line)), c.listed);
  }
  for (const char* type : {"rootfs", "sysfs", "proc", "devtmpfs", "cgroup", "cgroup2", "pstore", "squashfs",
                           "rpc_pipefs", "iso9660", "devpts", "hugetlbfs", "mqueue", "tmpfs", "cifs", "nfs", "nfs4",
                           "autofs"}) {
    SCOPED_TRACE(type);
    EXPECT_FALSE(is_listed(MountLine{"dev", "/srv/x", type}));
  }
}

TEST(DecodeMountPointTest, KernelEscapesOnly) {
  struct Case {
    const char* escaped;
    const char* want;
  } cases[] = {
      {"/media/usb\\040stick", "/media/usb stick"},
      {"/a\\011b\\012c\\134d", "/a\tb\nc\\d"},
      {"/a\\134040", "/a\\040"},  // decoded once, left to right
      {"/a\\041\\04\\", "/a\\041\\04\\"},
      {"/plain", "/plain"},
  };
  std::string out = "left over";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.escaped);
    decode_mount_point(c.escaped, out);
    EXPECT_EQ(out, c.want);
  }
}

TEST(PathKeyTest, EqualExactlyForTheSamePath) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"/mnt/a", "/mnt/a", true},   {"/mnt/a/", "/mnt/a", true},  {"/mnt//a", "/mnt/a", true},
      {"/mnt/./a", "/mnt/a", true}, {"/", "//", true},            {"/mnt/a", "/mnt/ab", false},
      {"/mnt/a", "/mnt", false},    {"/mnt/../a", "/a", false},   {"mnt", "/mnt", false},
      {"./a", "a", false},          {"/Mnt", "/mnt", false},      {"/a/.", "/a", true},
      {"", ".", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    std::string a, b;
    path_key(c.a, a);
    path_key(c.b, b);
    EXPECT_EQ(a == b, c.same);
  }
}

}  // namespace
}  // namespace tarnvale::metrics
