// The source on fixture roots: a whole reading, the CPU timing rules, a degraded host.
#include "metrics/sysinfo_system_metrics_source.hpp"

#include <gtest/gtest.h>

#include "json/writer.hpp"
#include "metrics/fake_host.hpp"

namespace tarnvale::metrics {
namespace {

using namespace std::chrono_literals;
using testing::FakeHost;
using testing::Space;

std::string test_name() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

std::shared_ptr<FakeHost> host_with_disks() {
  auto host = std::make_shared<FakeHost>();
  host->spaces = {
      {"/", Space{4096, 1'000'000, 250'000}},
      {"/home", Space{4096, 3, 1}},
      {"/run/media/u/stick", Space{512, 2, 0}},
      {"/media/usb stick", Space{.error = EIO}},
      {"/var/lib/docker", Space{4096, 1'000'000, 250'000}},
      {"/srv/data\ttab\\x", Space{4096, 0, 0}},
      {"/var/lib/docker/overlay2/abc/merged", Space{4096, 8, 9}},
      {"/mnt/data", Space{1024, 200, 1}},
  };
  return host;
}

// A source on a copy of the host fixture whose CPU counters move on one second later.
struct SecondReading {
  std::string root = testing::copy_root("host", test_name());
  std::shared_ptr<FakeHost> host = host_with_disks();
  SysinfoSystemMetricsSource source{root, testing::calls_for(host)};

  SecondReading() {
    std::filesystem::copy_file(root + "/stat.later", root + "/stat", std::filesystem::copy_options::overwrite_existing);
    host->now += 1s;
  }
};

SystemSnapshot refreshed(SysinfoSystemMetricsSource& source) {
  auto snapshot = source.refresh();
  if (!snapshot) throw std::runtime_error(snapshot.error().debug());
  return std::move(snapshot).value();
}

std::vector<double> cpu_usages(const SystemSnapshot& s) {
  std::vector<double> out;
  for (const auto& c : s.cpus) out.push_back(c.usage_percent);
  return out;
}

TEST(SysinfoSourceTest, WholeSystemFromAFixtureHost) {
  SecondReading reading;
  const SystemSnapshot s = refreshed(reading.source);

  EXPECT_EQ(s.memory_free_bytes, 6'144'000'000u);
  EXPECT_EQ(s.memory_used_bytes, 2'048'000'000u);
  EXPECT_EQ(s.swap_used_bytes, 1'048'574u * 1024);
  EXPECT_EQ(s.uptime_seconds, 12345u);
  // Single-precision results, widened.
  EXPECT_EQ(cpu_usages(s), (std::vector<double>{40.0, 0.0, 50.0, 100.0, 33.333335876464844, 71.42857360839844, 100.0,
                                                12.5, 99.9000015258789, 4.999999873689376e-05, 66.66667175292969, 0.0}));
  std::vector<std::string> disks;
  for (const auto& d : s.disks) disks.push_back(d.node_name + " " + d.mount_point);
  EXPECT_EQ(disks, (std::vector<std::string>{"dev_sda1 /", "dev_sda2 /home", "dev_sdb1 /run/media/u/stick",
                                             "dev_sdd1 /media/usb stick", "dev_sda1 /var/lib/docker",
                                             "dev_mapper_vg0-data /srv/data\ttab\\x",
                                             "overlay /var/lib/docker/overlay2/abc/merged",
                                             "dev_disk_by-label_My_040Data /mnt/data", "disk8 /srv/odd"}));

  const std::string golden = testing::read_file(testing::fixture("host_system.json"));
  EXPECT_EQ(json::to_string(s.to_system_node().to_json_value()) + "\n", golden);
}

TEST(SysinfoSourceTest, RefreshSoonAfterConstructionKeepsTheBaselineCpuFigures) {
  auto host = host_with_disks();
  SysinfoSystemMetricsSource source(testing::fixture("host"), testing::calls_for(host));
  host->now += 199ms;
  const SystemSnapshot s = refreshed(source);
  EXPECT_EQ(s.cpu_usage_percent, static_cast<double>(12.064495f));  // since boot
  EXPECT_EQ(cpu_usages(s), std::vector<double>(12, 0.0));
}

TEST(SysinfoSourceTest, SecondRefreshWithin200MillisecondsReusesCpuFiguresOnly) {
  SecondReading reading;
  const std::string& root = reading.root;
  const SystemSnapshot first = refreshed(reading.source);

  testing::write_file(root + "/stat", "cpu  9 9 9 9\ncpu0 1 1 1 1\n");
  testing::write_file(root + "/meminfo", "MemTotal: 10 kB\nMemAvailable: 4 kB\nSwapTotal: 0 kB\nSwapFree: 0 kB\n");
  testing::write_file(root + "/loadavg", "1.5 2.5 3.5\n");
  testing::write_file(root + "/uptime", "20000.5 1.0\n");
  testing::write_file(root + "/mounts", "/dev/sda1 / ext4 rw 0 0\n");
  reading.host->spaces["/"] = Space{1, 100, 40};
  reading.host->now += 150ms;
  const SystemSnapshot second = refreshed(reading.source);

  EXPECT_EQ(second.cpu_usage_percent, first.cpu_usage_percent);
  EXPECT_EQ(second.cpus, first.cpus);
  EXPECT_EQ(second.memory_free_bytes, 4096u);
  EXPECT_EQ(second.memory_used_bytes, 6144u);
  EXPECT_EQ(second.swap_total_bytes, 0u);
  EXPECT_EQ(second.load_average_fifteen, 3.5);
  EXPECT_EQ(second.uptime_seconds, 20000u);
  EXPECT_EQ(second.disks, (std::vector<DiskMetrics>{{"dev_sda1", "/dev/sda1", "/", 100, 40}}));
}

TEST(SysinfoSourceTest, DegradedHostGivesDefinedFigures) {
  auto host = std::make_shared<FakeHost>();
  SysinfoSystemMetricsSource source(testing::fixture("old_kernel"), testing::calls_for(host));
  host->now += 1s;
  const SystemSnapshot s = refreshed(source);
  EXPECT_EQ(s.memory_free_bytes, 1'500'000u * 1024);  // no MemAvailable: MemFree + … − Shmem
  EXPECT_EQ(s.memory_used_bytes, 2'500'000u * 1024);
  EXPECT_EQ(s.swap_total_bytes + s.swap_free_bytes + s.swap_used_bytes, 0u);
  EXPECT_TRUE(s.cpus.empty());  // stat does not start with the aggregate line
  EXPECT_EQ(s.cpu_usage_percent, 0.0);
  EXPECT_EQ(s.load_average_one, 0.5);
  EXPECT_EQ(s.load_average_five, 0.25);
  EXPECT_EQ(s.load_average_fifteen, 0.0);
  EXPECT_EQ(s.uptime_seconds, 77u);  // uptime unparsable: the sysinfo call's figure
  EXPECT_TRUE(s.disks.empty());      // no mounts file
}

TEST(SysinfoSourceTest, MissingRootGivesZerosAndEmptyLists) {
  auto host = std::make_shared<FakeHost>();
  host->sysinfo_uptime = std::nullopt;
  SysinfoSystemMetricsSource source(testing::fixture("no_such_root"), testing::calls_for(host));
  EXPECT_EQ(refreshed(source), SystemSnapshot{});
}

TEST(SysinfoSourceTest, MountsThatAreNotUtf8ListNothing) {
  const std::string root = testing::copy_root("host", test_name());
  auto host = host_with_disks();
  SysinfoSystemMetricsSource source(root, testing::calls_for(host));
  ASSERT_FALSE(refreshed(source).disks.empty());
  testing::write_file(root + "/mounts", "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /mnt/\xFF ext4 rw 0 0\n");
  EXPECT_TRUE(refreshed(source).disks.empty());
}

}  // namespace
}  // namespace tarnvale::metrics
