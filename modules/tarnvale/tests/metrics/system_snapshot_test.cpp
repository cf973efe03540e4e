// The "system" subtree built from a snapshot: paths, value types, units, rounding, names.
#include "metrics/system_snapshot.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "json/writer.hpp"

namespace tarnvale::metrics {
namespace {

std::string value_of(const tree::DataNode& node) { return json::to_string(node.to_json_value()); }

const tree::DataNode& at(const tree::DataNode& node, std::initializer_list<const char*> path) {
  const tree::DataNode* n = &node;
  for (const char* name : path) {
    n = n->child(name);
    if (n == nullptr) throw std::runtime_error(std::string("no node ") + name);
  }
  return *n;
}

std::vector<std::string> child_names(const tree::DataNode& node) {
  std::vector<std::string> names;
  for (const auto& [name, child] : node.children()) names.push_back(name);
  return names;
}

SystemSnapshot one_of_each() {
  SystemSnapshot s;
  s.cpus = {{"cpu0", 12.5}};
  s.disks = {{"dev_sda1", "/dev/sda1", "/", 1000, 250}};
  s.memory_free_bytes = 6'144'000'000;
  s.memory_used_bytes = 2'048'000'000;
  s.swap_total_bytes = 300;
  s.swap_free_bytes = 200;
  s.swap_used_bytes = 100;
  s.cpu_usage_percent = 33.333333;
  s.load_average_one = 0.52;
  s.load_average_five = 1.0;
  s.load_average_fifteen = 0.125;
  s.uptime_seconds = 12345;
  return s;
}

TEST(ToSystemNodeTest, EveryPathWithItsValue) {
  EXPECT_EQ(value_of(one_of_each().to_system_node()),
            R"({"cpu":{"all":33.33,"cpu0":12.5,"load_average":{"15m":0.125,"1m":0.52,"5m":1.0}},)"
            R"("disks":{"dev_sda1":{"free":250,"mount_point":"/","name":"/dev/sda1","total":1000,"usage_percent":75.0,"used":750}},)"
            R"("memory":{"free":6144000000,"swap":{"free":200,"total":300,"usage_percent":33.33,"used":100},)"
            R"("usage_percent":25.0,"used":2048000000},"uptime":12345})");
}

TEST(ToSystemNodeTest, EveryPathWithItsTypeAndUnit) {
  const std::string bytes = R"({"kind":"value","unit":"bytes","valueType":"uint64"})";
  const std::string percent = R"({"kind":"value","unit":"percent","valueType":"float64"})";
  const std::string plain = R"({"kind":"value","valueType":"float64"})";
  const std::string text = R"({"kind":"value","valueType":"string"})";
  auto branch = [](const std::string& children) { return R"({"children":{)" + children + R"(},"kind":"branch"})"; };
  const std::string want = branch(
      R"("cpu":)" + branch(R"("all":)" + percent + R"(,"cpu0":)" + percent + R"(,"load_average":)" +
                           branch(R"("15m":)" + plain + R"(,"1m":)" + plain + R"(,"5m":)" + plain)) +
      R"(,"disks":)" +
      branch(R"("dev_sda1":)" + branch(R"("free":)" + bytes + R"(,"mount_point":)" + text + R"(,"name":)" + text +
                                       R"(,"total":)" + bytes + R"(,"usage_percent":)" + percent + R"(,"used":)" +
                                       bytes)) +
      R"(,"memory":)" +
      branch(R"("free":)" + bytes + R"(,"swap":)" +
             branch(R"("free":)" + bytes + R"(,"total":)" + bytes + R"(,"usage_percent":)" + percent + R"(,"used":)" +
                    bytes) +
             R"(,"usage_percent":)" + percent + R"(,"used":)" + bytes) +
      R"(,"uptime":{"kind":"value","unit":"seconds","valueType":"uint64"})");
  EXPECT_EQ(json::to_string(one_of_each().to_system_node().to_schema_json()), want);
}

TEST(ToSystemNodeTest, TwelveCpusInByteOrderOfTheirNames) {
  SystemSnapshot s;
  for (int i = 0; i < 12; ++i) s.cpus.push_back({"cpu" + std::to_string(i), 1.0});
  EXPECT_EQ(child_names(at(s.to_system_node(), {"cpu"})),
            (std::vector<std::string>{"all", "cpu0", "cpu1", "cpu10", "cpu11", "cpu2", "cpu3", "cpu4", "cpu5", "cpu6",
                                      "cpu7", "cpu8", "cpu9", "load_average"}));
}

TEST(ToSystemNodeTest, EmptyListsLeaveTheFixedNodes) {
  const tree::DataNode system = SystemSnapshot{}.to_system_node();
  EXPECT_EQ(child_names(at(system, {"cpu"})), (std::vector<std::string>{"all", "load_average"}));
  EXPECT_EQ(value_of(at(system, {"disks"})), "{}");
  EXPECT_EQ(value_of(at(system, {"memory", "swap"})), R"({"free":0,"total":0,"usage_percent":0.0,"used":0})");
  EXPECT_EQ(value_of(at(system, {"memory", "usage_percent"})), "0.0");
}

TEST(ToSystemNodeTest, CpuNamesNeverReplaceTheFixedChildren) {
  SystemSnapshot s;
  s.cpus = {{"all", 10.0}, {"load_average", 20.0}, {"cpu0", 30.0}, {"cpu0", 40.0}};
  EXPECT_EQ(value_of(at(s.to_system_node(), {"cpu"})),
            R"({"all":0.0,"all_2":10.0,"cpu0":30.0,"cpu0_2":40.0,"load_average":{"15m":0.0,"1m":0.0,"5m":0.0},)"
            R"("load_average_2":20.0})");
}

TEST(ToSystemNodeTest, DiskFigures) {
  struct Case {
    const char* name;
    std::uint64_t total, available;
    const char* want;
  } cases[] = {
      {"zero total", 0, 5, R"({"free":5,"mount_point":"/m","name":"d","total":0,"usage_percent":0.0,"used":0})"},
      {"more available than total", 10, 20,
       R"({"free":20,"mount_point":"/m","name":"d","total":10,"usage_percent":0.0,"used":0})"},
      {"full", 7, 0, R"({"free":0,"mount_point":"/m","name":"d","total":7,"usage_percent":100.0,"used":7})"},
      {"rounded", 3, 1, R"({"free":1,"mount_point":"/m","name":"d","total":3,"usage_percent":66.67,"used":2})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SystemSnapshot s;
    s.disks = {{"d", "d", "/m", c.total, c.available}};
    EXPECT_EQ(value_of(at(s.to_system_node(), {"disks", "d"})), c.want);
  }
}

TEST(ToSystemNodeTest, NamesakeDisksAreNumberedInListOrder) {
  SystemSnapshot s;
  s.disks = {{"dev_sda1", "/dev/sda1", "/", 1, 1}, {"dev_sda1", "/dev/sda1", "/var/lib/docker", 1, 1}};
  EXPECT_EQ(value_of(at(s.to_system_node(), {"disks", "dev_sda1_2", "mount_point"})), R"("/var/lib/docker")");
  // Once the first is gone, the other takes the plain name.
  s.disks.erase(s.disks.begin());
  const tree::DataNode system = s.to_system_node();
  EXPECT_EQ(child_names(at(system, {"disks"})), (std::vector<std::string>{"dev_sda1"}));
}

TEST(ToSystemNodeTest, UsageFigures) {
  struct Case {
    double usage;
    const char* want;
  } cases[] = {{12.5, "12.5"}, {33.333333, "33.33"}, {100.0, "100.0"}, {std::nan(""), "0.0"}, {1e300, "100.0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.usage);
    SystemSnapshot s;
    s.cpu_usage_percent = c.usage;
    s.cpus = {{"cpu0", c.usage}};
    const tree::DataNode system = s.to_system_node();
    EXPECT_EQ(value_of(at(system, {"cpu", "all"})), c.want);
    EXPECT_EQ(value_of(at(system, {"cpu", "cpu0"})), c.want);
  }
}

}  // namespace
}  // namespace tarnvale::metrics
