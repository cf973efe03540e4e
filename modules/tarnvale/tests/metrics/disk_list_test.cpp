// The disk list across passes: which entries exist, in which order, with which figures.
#include "metrics/detail/disk_list.hpp"

#include <gtest/gtest.h>

#include "metrics/fake_host.hpp"

namespace tarnvale::metrics {
namespace {

using testing::FakeHost;
using testing::Space;

class DiskListTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeHost> host = std::make_shared<FakeHost>();
  DiskList list{testing::calls_for(host).statvfs};

  std::vector<std::string> mount_points() const {
    std::vector<std::string> out;
    for (const auto& e : list.entries()) out.push_back(e.mount_point);
    return out;
  }
};

TEST_F(DiskListTest, OnlyListedFileSystemsInFileOrder) {
  host->spaces["/"] = Space{4096, 100, 50};
  list.build(
      "/dev/sda1 / ext4 rw 0 0\n"
      "tmpfs /tmp tmpfs rw 0 0\n"
      "/dev/sdb1 /run/media/u/stick vfat rw 0 0\n"
      "tmpfs /run/user/1000 tmpfs rw 0 0\n"
      "/dev/sdc1 /run/x ext4 rw 0 0\n");
  EXPECT_EQ(mount_points(), (std::vector<std::string>{"/", "/run/media/u/stick"}));
  EXPECT_EQ(list.entries()[0], (DiskEntry{"/dev/sda1", "/", 409600, 204800, false}));
  // Left-out file systems are never passed to statvfs.
  EXPECT_EQ(host->statvfs_calls.count("/tmp") + host->statvfs_calls.count("/run/x"), 0u);
}

TEST_F(DiskListTest, EscapedMountPointIsDecodedAndTheDeviceIsNot) {
  list.build("/dev/disk/by-label/My\\040Data /media/usb\\040stick vfat rw 0 0\n");
  ASSERT_EQ(list.entries().size(), 1u);
  EXPECT_EQ(list.entries()[0].mount_point, "/media/usb stick");
  EXPECT_EQ(list.entries()[0].device_name, "/dev/disk/by-label/My\\040Data");
  EXPECT_EQ(host->statvfs_calls["/media/usb stick"], 1);
}

TEST_F(DiskListTest, MountsAppendAndUnmountsMoveLaterEntriesUp) {
  list.build("/dev/a / ext4\n/dev/b /b ext4\n/dev/c /c ext4\n");
  list.refresh("/dev/a / ext4\n/dev/d /d ext4\n/dev/c /c ext4\n");
  EXPECT_EQ(mount_points(), (std::vector<std::string>{"/", "/c", "/d"}));
  list.refresh("/dev/b /b ext4\n/dev/d /d ext4\n");
  EXPECT_EQ(mount_points(), (std::vector<std::string>{"/d", "/b"}));
}

TEST_F(DiskListTest, BuildRemovesNothing) {
  list.build("/dev/a /a ext4\n");
  list.build("/dev/b /b ext4\n");
  EXPECT_EQ(mount_points(), (std::vector<std::string>{"/a", "/b"}));
}

TEST_F(DiskListTest, MatchedByPathKeepingTheFirstDeviceAndMountPointText) {
  host->spaces["/mnt/a"] = Space{1, 10, 5};
  list.build("/dev/a /mnt/a ext4\n/dev/z /mnt//a/ ext4\n");
  ASSERT_EQ(list.entries().size(), 1u);
  EXPECT_EQ(host->statvfs_calls["/mnt/a"], 2);  // the second line reads the entry again
  // Another device mounted at the same place shows its own figures under the first name.
  host->spaces["/mnt/a"] = Space{1, 20, 1};
  list.refresh("/dev/other /mnt/a/ xfs\n");
  ASSERT_EQ(list.entries().size(), 1u);
  EXPECT_EQ(list.entries()[0], (DiskEntry{"/dev/a", "/mnt/a", 20, 1, false}));
}

TEST_F(DiskListTest, FailedOrEmptyStatvfsKeepsThePreviousFigures) {
  host->spaces["/a"] = Space{512, 8, 2};
  host->spaces["/b"] = Space{.error = EIO};
  list.build("/dev/a /a ext4\n/dev/b /b ext4\n");
  EXPECT_EQ(list.entries()[0].total_bytes, 4096u);
  EXPECT_EQ(list.entries()[1].total_bytes, 0u);
  struct Case {
    const char* name;
    Space space;
  } cases[] = {{"fails", {.error = EACCES}}, {"no blocks", {4096, 0, 0}}, {"no fragment size", {0, 9, 9}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host->spaces["/a"] = c.space;
    list.refresh("/dev/a /a ext4\n");
    ASSERT_EQ(list.entries().size(), 1u);
    EXPECT_EQ(list.entries()[0].total_bytes, 4096u);
    EXPECT_EQ(list.entries()[0].available_bytes, 1024u);
  }
}

TEST_F(DiskListTest, StatvfsIsRetriedWhileInterrupted) {
  host->spaces["/a"] = Space{.frsize = 2, .blocks = 3, .bavail = 1, .interrupts = 2};
  list.build("/dev/a /a ext4\n");
  EXPECT_EQ(host->statvfs_calls["/a"], 3);
  EXPECT_EQ(list.entries()[0].total_bytes, 6u);
}

TEST_F(DiskListTest, HugeFiguresAreHeldAtTheTop) {
  host->spaces["/a"] = Space{1ul << 32, fsblkcnt_t{1} << 40, fsblkcnt_t{1} << 40};
  list.build("/dev/a /a ext4\n");
  EXPECT_EQ(list.entries()[0].total_bytes, std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(list.entries()[0].available_bytes, std::numeric_limits<std::uint64_t>::max());
}

TEST_F(DiskListTest, UnreadableMountsEmptiesTheListUntilItCanBeReadAgain) {
  list.build("/dev/a /a ext4\n/dev/b /b ext4\n");
  list.refresh(std::nullopt);
  EXPECT_TRUE(list.entries().empty());
  list.refresh("/dev/b /b ext4\n\n/dev/a /a ext4\n");
  EXPECT_EQ(mount_points(), (std::vector<std::string>{"/b", "/a"}));
}

}  // namespace
}  // namespace tarnvale::metrics
