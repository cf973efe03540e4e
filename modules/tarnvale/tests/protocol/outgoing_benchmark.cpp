#include <benchmark/benchmark.h>

#include <string>

#include "protocol/outgoing.hpp"

namespace tarnvale::protocol {
namespace {

using tree::DataNode;

// A "system" subtree as a host with 8 CPUs and 3 disks yields it.
DataNode system_node() {
  DataNode memory = DataNode::branch();
  memory.insert("free", DataNode::leaf(std::uint64_t{9'812'344'832}, tree::kUnitBytes));
  memory.insert("used", DataNode::leaf(std::uint64_t{6'657'187'840}, tree::kUnitBytes));
  memory.insert("usage_percent", DataNode::leaf(40.42, tree::kUnitPercent));
  DataNode swap = DataNode::branch();
  swap.insert("total", DataNode::leaf(std::uint64_t{2'147'479'552}, tree::kUnitBytes));
  swap.insert("free", DataNode::leaf(std::uint64_t{2'046'820'352}, tree::kUnitBytes));
  swap.insert("used", DataNode::leaf(std::uint64_t{100'659'200}, tree::kUnitBytes));
  swap.insert("usage_percent", DataNode::leaf(4.69, tree::kUnitPercent));
  memory.insert("swap", std::move(swap));

  DataNode cpu = DataNode::branch();
  cpu.insert("all", DataNode::leaf(12.37, tree::kUnitPercent));
  DataNode load = DataNode::branch();
  load.insert("1m", DataNode::leaf(0.52));
  load.insert("5m", DataNode::leaf(0.71));
  load.insert("15m", DataNode::leaf(0.66));
  cpu.insert("load_average", std::move(load));
  const double usages[] = {3.96, 17.82, 0.0, 100.0, 8.91, 42.57, 11.11, 6.25};
  for (int i = 0; i < 8; ++i) cpu.insert("cpu" + std::to_string(i), DataNode::leaf(usages[i], tree::kUnitPercent));

  DataNode disks = DataNode::branch();
  struct Disk {
    const char* node;
    const char* device;
    const char* mount;
    std::uint64_t total;
    std::uint64_t free;
  } const list[] = {
      {"nvme0n1p2", "/dev/nvme0n1p2", "/", 502'392'610'816, 201'023'488'000},
      {"nvme0n1p1", "/dev/nvme0n1p1", "/boot/efi", 535'805'952, 529'969'152},
      {"sda1", "/dev/sda1", "/mnt/data", 2'000'263'573'504, 1'100'145'664'000},
  };
  for (const auto& d : list) {
    DataNode disk = DataNode::branch();
    disk.insert("name", DataNode::leaf(std::string(d.device)));
    disk.insert("mount_point", DataNode::leaf(std::string(d.mount)));
    disk.insert("total", DataNode::leaf(d.total, tree::kUnitBytes));
    disk.insert("free", DataNode::leaf(d.free, tree::kUnitBytes));
    disk.insert("used", DataNode::leaf(d.total - d.free, tree::kUnitBytes));
    disk.insert("usage_percent", DataNode::leaf(59.99, tree::kUnitPercent));
    disks.insert(d.node, std::move(disk));
  }

  DataNode system = DataNode::branch();
  system.insert("memory", std::move(memory));
  system.insert("cpu", std::move(cpu));
  system.insert("uptime", DataNode::leaf(std::uint64_t{1'234'567}, tree::kUnitSeconds));
  system.insert("disks", std::move(disks));
  return system;
}

// A pushed update from the node's value text, as the update pass builds it.
void BM_DataUpdate(benchmark::State& state, std::string_view path_text, const DataNode& node) {
  const SystemPath path = *SystemPath::parse(path_text);
  std::string value;
  node.write_json_value(value);
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string text = data_update(path, value);
    bytes += text.size();
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["message_bytes"] = static_cast<double>(data_update(path, value).size());
}
BENCHMARK_CAPTURE(BM_DataUpdate, leaf, "system.cpu.all", DataNode::leaf(12.37, tree::kUnitPercent));
BENCHMARK_CAPTURE(BM_DataUpdate, system, "system", system_node());

// Writing the value text of the whole subtree, once per published tree.
void BM_ValueTextSystem(benchmark::State& state) {
  const DataNode node = system_node();
  for (auto _ : state) {
    std::string text;
    node.write_json_value(text);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_ValueTextSystem);

}  // namespace
}  // namespace tarnvale::protocol
