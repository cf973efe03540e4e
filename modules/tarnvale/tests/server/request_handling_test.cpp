// Replies to requests over a real WebSocket pair: values, schemas, every error code, the
// subscription map and its limit, and the close for a request without a usable uuid.
#include "server/detail/request_handling.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "server/stream_pair.hpp"

namespace tarnvale::server {
namespace {

using namespace testing;

constexpr const char* kUuid = "6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12";

std::string request(std::string_view type, std::string_view path, std::string_view uuid = kUuid) {
  return R"({"uuid":")" + std::string(uuid) + R"(","type":")" + std::string(type) + R"(","body":{"path":")" +
         std::string(path) + R"("}})";
}

std::string reply(std::string_view type, std::string_view body, std::string_view uuid = kUuid) {
  return R"({"uuid":")" + std::string(uuid) + R"(","topic":")" + std::string(uuid) + R"(","type":")" +
         std::string(type) + R"(","body":)" + std::string(body) + "}";
}

std::string error_reply(std::string_view code, std::string_view message) {
  return R"({"uuid":")" + std::string(kUuid) + R"(","topic":")" + std::string(kUuid) +
         R"(","type":"error","error":{"code":")" + std::string(code) + R"(","message":")" + std::string(message) +
         R"("}})";
}

tree::DataNode small_system() {
  tree::DataNode cpu = tree::DataNode::branch();
  cpu.insert("all", tree::DataNode::leaf(12.5, tree::kUnitPercent));
  tree::DataNode system = tree::DataNode::branch();
  system.insert("cpu", std::move(cpu));
  system.insert("uptime", tree::DataNode::leaf(std::uint64_t{42}, tree::kUnitSeconds));
  return system;
}

struct Exchange {
  std::string in;
  std::string want;
};

// Sends each request through handle_text_request and collects what the client receives.
asio::awaitable<void> exchange_all(tree::DataStore store, Subscriptions* subscriptions,
                                   std::vector<Exchange> exchanges) {
  auto pair = co_await connected_streams();
  if (!pair.server) co_return;
  for (const auto& e : exchanges) {
    SCOPED_TRACE(e.in);
    auto keep = co_await handle_text_request(*pair.server, store, *subscriptions, e.in);
    EXPECT_TRUE(keep.has_value() && *keep == Step::next);
    EXPECT_EQ(co_await next_text(*pair.client), e.want);
  }
}

class RequestHandlingTest : public ::testing::Test {
 protected:
  void SetUp() override { store.publish_system(small_system()); }
  asio::io_context io;
  tree::DataStore store = tree::DataStore::create(io.get_executor());
  Subscriptions subscriptions;
};

TEST_F(RequestHandlingTest, RepliesToEachKindAndEachError) {
  const std::string missing = "path 'system.CPU' does not exist";
  run_test(io, exchange_all(store, &subscriptions,
                            {
                                {request("GetValue", "system.cpu.all"),
                                 reply("GetValueResponse", R"({"path":"system.cpu.all","value":12.5})")},
                                {request("GetValue", "system"),
                                 reply("GetValueResponse", R"({"path":"system","value":{"cpu":{"all":12.5},"uptime":42}})")},
                                {request("GetSchema", "system.uptime"),
                                 reply("GetSchemaResponse",
                                       R"({"path":"system.uptime","schema":{"kind":"value","unit":"seconds","valueType":"uint64"}})")},
                                {request("GetValue", "system.CPU"), error_reply("path_not_found", missing)},
                                {request("GetSchema", "system.cpu.all.x"),
                                 error_reply("path_not_found", "path 'system.cpu.all.x' does not exist")},
                                {request("SubscribeValue", "system.CPU"), error_reply("path_not_found", missing)},
                                {request("GetValues", "system"),
                                 error_reply("unsupported_message_type", "unsupported message type 'GetValues'")},
                                {request("GetValue", "system."),
                                 error_reply("invalid_path", "path segments must not be empty")},
                                {request("UnsubscribeValue", "system.nowhere"),
                                 reply("UnsubscribeValueResponse", R"({"path":"system.nowhere","removed":false})")},
                                {request("SubscribeValue", "system.cpu"),
                                 reply("SubscribeValueResponse",
                                       R"({"path":"system.cpu","subscribed":true,"value":{"all":12.5}})")},
                                {request("SubscribeValue", "system.cpu"),
                                 reply("SubscribeValueResponse",
                                       R"({"path":"system.cpu","subscribed":true,"value":{"all":12.5}})")},
                                {request("UnsubscribeValue", "system.CPU"),
                                 reply("UnsubscribeValueResponse", R"({"path":"system.CPU","removed":false})")},
                            }));
  EXPECT_EQ(subscriptions.size(), 1u);
  EXPECT_TRUE(subscriptions.contains("system.cpu"));
}

TEST_F(RequestHandlingTest, UuidIsEchoedInEveryTextForm) {
  std::vector<Exchange> exchanges;
  for (std::string uuid : {"6F1C2A9E-3B7D-4E21-9C55-0A8D7E3F4B12", "{6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12}",
                           "urn:uuid:6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12", "6f1c2a9e3b7d4e219c550a8d7e3f4b12"}) {
    exchanges.push_back({request("GetValue", "system.uptime", uuid),
                         reply("GetValueResponse", R"({"path":"system.uptime","value":42})", uuid)});
  }
  run_test(io, exchange_all(store, &subscriptions, exchanges));
}

TEST(RequestHandlingBeforeTheFirstSampleTest, OnlyUnsubscribeIsAnsweredBeforeTheFirstSample) {
  asio::io_context io;
  auto store = tree::DataStore::create(io.get_executor());
  Subscriptions subscriptions;
  const std::string not_ready = error_reply("data_not_ready", "the first complete system sample is not available");
  run_test(io, exchange_all(store, &subscriptions,
                            {
                                {request("GetValue", "system"), not_ready},
                                {request("GetSchema", "system"), not_ready},
                                {request("SubscribeValue", "system"), not_ready},
                                {request("UnsubscribeValue", "system"),
                                 reply("UnsubscribeValueResponse", R"({"path":"system","removed":false})")},
                            }));
  EXPECT_TRUE(subscriptions.empty());
}

TEST_F(RequestHandlingTest, LimitOf128CountsDistinctExistingPaths) {
  // 130 published leaves: 128 of them fill the map, the other two are tried at the limit.
  tree::DataNode many = tree::DataNode::branch();
  for (int i = 0; i < 130; ++i) many.insert("n" + std::to_string(i), tree::DataNode::leaf(std::uint64_t{1}));
  store.publish_system(std::move(many));
  std::vector<Exchange> exchanges;
  for (int i = 0; i < 128; ++i) {
    const std::string path = "system.n" + std::to_string(i);
    exchanges.push_back({request("SubscribeValue", path),
                         reply("SubscribeValueResponse", R"({"path":")" + path + R"(","subscribed":true,"value":1})")});
  }
  const std::string limit = error_reply("subscription_limit", "the connection has reached its subscription limit");
  exchanges.push_back({request("SubscribeValue", "system.n128"), limit});
  exchanges.push_back({request("SubscribeValue", "system.n5"),
                       reply("SubscribeValueResponse", R"({"path":"system.n5","subscribed":true,"value":1})")});
  exchanges.push_back({request("SubscribeValue", "system.missing"),
                       error_reply("path_not_found", "path 'system.missing' does not exist")});
  exchanges.push_back({request("UnsubscribeValue", "system.n0"),
                       reply("UnsubscribeValueResponse", R"({"path":"system.n0","removed":true})")});
  exchanges.push_back({request("SubscribeValue", "system.n129"),
                       reply("SubscribeValueResponse", R"({"path":"system.n129","subscribed":true,"value":1})")});
  run_test(io, exchange_all(store, &subscriptions, exchanges));
  EXPECT_EQ(subscriptions.size(), 128u);
}

asio::awaitable<void> expect_close_for(tree::DataStore store, std::string text) {
  auto pair = co_await connected_streams();
  if (!pair.server) co_return;
  Subscriptions subscriptions;
  auto keep = co_await handle_text_request(*pair.server, store, subscriptions, text);
  EXPECT_TRUE(keep.has_value() && *keep == Step::closed);
  EXPECT_EQ(co_await next_text(*pair.client), "close 1002 invalid request without a usable UUID");
}

TEST_F(RequestHandlingTest, RequestWithoutUsableUuidGetsOnlyTheClose) {
  for (std::string text : {std::string("not json"), std::string(R"({"type":"GetValue","body":{"path":"system"}})"),
                           request("GetValue", "system", "6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b1")}) {
    SCOPED_TRACE(text);
    asio::io_context local;
    auto local_store = tree::DataStore::create(local.get_executor());
    run_test(local, expect_close_for(local_store, text));
  }
}

}  // namespace
}  // namespace tarnvale::server
