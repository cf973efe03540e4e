// The update pass after a tick: one message per subscribed path in path order, errors for
// paths that left the tree, values again when they return, and the end on a failed send.
#include "server/detail/update_pass.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "server/stream_pair.hpp"

namespace tarnvale::server {
namespace {

using namespace testing;

tree::DataNode system_with_disk(bool with_disk) {
  tree::DataNode cpu = tree::DataNode::branch();
  cpu.insert("all", tree::DataNode::leaf(12.5, tree::kUnitPercent));
  tree::DataNode disks = tree::DataNode::branch();
  if (with_disk) {
    tree::DataNode disk = tree::DataNode::branch();
    disk.insert("total", tree::DataNode::leaf(std::uint64_t{100}, tree::kUnitBytes));
    disks.insert("dev_sdb1", std::move(disk));
  }
  tree::DataNode system = tree::DataNode::branch();
  system.insert("cpu", std::move(cpu));
  system.insert("disks", std::move(disks));
  system.insert("uptime", tree::DataNode::leaf(std::uint64_t{42}, tree::kUnitSeconds));
  return system;
}

void subscribe(Subscriptions& subscriptions, std::string_view text) {
  subscriptions.insert_or_assign(std::string(text), protocol::SystemPath::parse(text).value());
}

// The message without its fresh identifier: what follows "uuid":"<36 characters>".
std::string after_uuid(const std::string& message) {
  const std::string head = R"({"uuid":")";
  if (message.rfind(head, 0) != 0 || message.size() < head.size() + 37) return "unexpected: " + message;
  return message.substr(head.size() + 37);
}

asio::awaitable<void> passes(tree::DataStore store, std::vector<std::string> paths, std::vector<bool> disk_present,
                             std::vector<std::string> want) {
  auto pair = co_await connected_streams();
  if (!pair.server) co_return;
  Subscriptions subscriptions;
  for (const auto& p : paths) subscribe(subscriptions, p);
  std::vector<std::string> got;
  std::vector<std::string> uuids;
  for (bool present : disk_present) {
    store.publish_system(system_with_disk(present));
    auto done = co_await publish_updates(*pair.server, store, subscriptions);
    EXPECT_TRUE(done.has_value());
    for (std::size_t i = 0; i < subscriptions.size(); ++i) {
      const std::string message = co_await next_text(*pair.client);
      uuids.push_back(message.substr(9, 36));
      got.push_back(after_uuid(message));
    }
  }
  EXPECT_EQ(got, want);
  std::sort(uuids.begin(), uuids.end());
  EXPECT_EQ(std::adjacent_find(uuids.begin(), uuids.end()), uuids.end()) << "identifiers repeat";
}

TEST(UpdatePassTest, PathOrderAndVanishedPathsComingBack) {
  asio::io_context io;
  auto store = tree::DataStore::create(io.get_executor());
  const std::string disk_value = R"(,"topic":"DataUpdate-system.disks.dev_sdb1","type":"DataUpdate",)"
                                 R"("body":{"path":"system.disks.dev_sdb1","value":{"total":100}}})";
  const std::string disk_gone = R"(,"topic":"DataUpdate-system.disks.dev_sdb1","type":"DataUpdate",)"
                                R"("error":{"code":"path_not_found","message":"path 'system.disks.dev_sdb1' does not exist"}})";
  const std::string uptime = R"(,"topic":"DataUpdate-system.uptime","type":"DataUpdate",)"
                             R"("body":{"path":"system.uptime","value":42}})";
  const std::string cpu = R"(,"topic":"DataUpdate-system.cpu.all","type":"DataUpdate",)"
                          R"("body":{"path":"system.cpu.all","value":12.5}})";
  run_test(io, passes(store, {"system.uptime", "system.disks.dev_sdb1", "system.cpu.all"}, {true, false, false, true},
                      {cpu, disk_value, uptime, cpu, disk_gone, uptime, cpu, disk_gone, uptime, cpu, disk_value,
                       uptime}));
}

asio::awaitable<void> empty_and_failing(tree::DataStore store) {
  auto pair = co_await connected_streams();
  if (!pair.server) co_return;
  Subscriptions subscriptions;
  EXPECT_TRUE((co_await publish_updates(*pair.server, store, subscriptions)).has_value());
  subscribe(subscriptions, "system.cpu.all");
  subscribe(subscriptions, "system.uptime");
  pair.server->socket().shutdown(tcp::socket::shutdown_send);
  auto done = co_await publish_updates(*pair.server, store, subscriptions);
  EXPECT_FALSE(done.has_value());
  if (!done) {
    EXPECT_EQ(done.error().display(), "IO error: Broken pipe (os error 32)");
  }
  // Nothing reached the client: the pass ended at its first send.
  auto event = co_await pair.client->next();
  EXPECT_FALSE(event.has_value() && std::holds_alternative<websocket::Text>(*event));
}

TEST(UpdatePassTest, EmptyMapSendsNothingAndAFailedSendEndsThePass) {
  asio::io_context io;
  auto store = tree::DataStore::create(io.get_executor());
  store.publish_system(system_with_disk(false));
  run_test(io, empty_and_failing(store));
}

}  // namespace
}  // namespace tarnvale::server
