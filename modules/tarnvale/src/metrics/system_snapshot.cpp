#include "metrics/system_snapshot.hpp"

#include "metrics/detail/node_name.hpp"
#include "metrics/detail/percentage.hpp"
#include "metrics/detail/saturating.hpp"

namespace tarnvale::metrics {

namespace {

using tree::DataNode;

DataNode bytes(std::uint64_t value) { return DataNode::leaf(value, tree::kUnitBytes); }
DataNode percent(double value) { return DataNode::leaf(value, tree::kUnitPercent); }

DataNode memory_node(const SystemSnapshot& s) {
  DataNode swap = DataNode::branch();
  swap.insert("total", bytes(s.swap_total_bytes));
  swap.insert("free", bytes(s.swap_free_bytes));
  swap.insert("used", bytes(s.swap_used_bytes));
  swap.insert("usage_percent", percent(percentage(s.swap_used_bytes, s.swap_total_bytes)));

  DataNode memory = DataNode::branch();
  memory.insert("free", bytes(s.memory_free_bytes));
  memory.insert("used", bytes(s.memory_used_bytes));
  memory.insert("usage_percent",
                percent(percentage(s.memory_used_bytes, saturating_add(s.memory_free_bytes, s.memory_used_bytes))));
  memory.insert("swap", std::move(swap));
  return memory;
}

DataNode cpu_node(const SystemSnapshot& s) {
  DataNode load = DataNode::branch();
  load.insert("1m", DataNode::leaf(s.load_average_one));
  load.insert("5m", DataNode::leaf(s.load_average_five));
  load.insert("15m", DataNode::leaf(s.load_average_fifteen));

  DataNode cpu = DataNode::branch();
  cpu.insert("all", percent(cpu_percentage(s.cpu_usage_percent)));
  cpu.insert("load_average", std::move(load));
  // The names in use are the children so far: all, load_average and the CPUs before, so no
  // CPU can replace a fixed child or an earlier CPU.
  for (std::size_t i = 0; i < s.cpus.size(); ++i) {
    std::string name = unique_node_name(s.cpus[i].node_name, "cpu" + std::to_string(i), cpu.children());
    cpu.insert(std::move(name), percent(cpu_percentage(s.cpus[i].usage_percent)));
  }
  return cpu;
}

DataNode disks_node(const SystemSnapshot& s) {
  DataNode disks = DataNode::branch();
  for (std::size_t i = 0; i < s.disks.size(); ++i) {
    const DiskMetrics& d = s.disks[i];
    const std::uint64_t used_bytes = saturating_sub(d.total_bytes, d.available_bytes);
    DataNode disk = DataNode::branch();
    disk.insert("name", DataNode::leaf(d.device_name));
    disk.insert("mount_point", DataNode::leaf(d.mount_point));
    disk.insert("total", bytes(d.total_bytes));
    disk.insert("free", bytes(d.available_bytes));
    disk.insert("used", bytes(used_bytes));
    disk.insert("usage_percent", percent(percentage(used_bytes, d.total_bytes)));
    // The names in use are those of the disks before.
    std::string name = unique_node_name(d.node_name, "disk" + std::to_string(i), disks.children());
    disks.insert(std::move(name), std::move(disk));
  }
  return disks;
}

}  // namespace

tree::DataNode SystemSnapshot::to_system_node() const {
  DataNode system = DataNode::branch();
  system.insert("memory", memory_node(*this));
  system.insert("cpu", cpu_node(*this));
  system.insert("uptime", DataNode::leaf(uptime_seconds, tree::kUnitSeconds));
  system.insert("disks", disks_node(*this));
  return system;
}

}  // namespace tarnvale::metrics
