#include "protocol/outgoing.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "protocol/uuid.hpp"

namespace tarnvale::protocol {
namespace {

using tree::DataNode;

constexpr std::string_view kUuid = "6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12";
constexpr std::string_view kPushedUuid = "d3b07384-9a1e-4f6c-8e2d-5b7a1c0e9f34";

SystemPath path(std::string_view text) { return *SystemPath::parse(text); }

ClientRequest request(std::string_view uuid, RequestKind kind, std::string_view path_text) {
  return ClientRequest{std::string(uuid), path(path_text), kind};
}

DataNode memory() {
  DataNode node = DataNode::branch();
  node.insert("used", DataNode::leaf(std::uint64_t{100}, tree::kUnitBytes));
  node.insert("usage_percent", DataNode::leaf(100.0, tree::kUnitPercent));
  node.insert("free", DataNode::leaf(std::uint64_t{7}, tree::kUnitBytes));
  DataNode swap = DataNode::branch();
  swap.insert("used", DataNode::leaf(std::uint64_t{0}, tree::kUnitBytes));
  node.insert("swap", std::move(swap));
  return node;
}

// A pushed message with its fresh identifier replaced by kPushedUuid, once checked for form.
std::string with_fixed_identifier(std::string text) {
  constexpr std::string_view kHead = R"({"uuid":")";
  EXPECT_TRUE(text.starts_with(kHead)) << text;
  const std::string identifier = text.substr(kHead.size(), kUuidTextSize);
  EXPECT_EQ(identifier[14], '4') << identifier;
  EXPECT_EQ(text.substr(kHead.size() + kUuidTextSize, 1), "\"") << text;
  return text.replace(kHead.size(), kUuidTextSize, kPushedUuid);
}

TEST(OutgoingMessagesTest, TextsAreExactlyTheWireFormat) {
  const std::string braced = "{6F1C2A9E-3B7D-4E21-9C55-0A8D7E3F4B12}";
  const std::string urn = "urn:uuid:6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12";
  struct Case {
    std::string_view name;
    std::string got;
    std::string want;
  } cases[] = {
      {"GetValue reply",
       value_response(request(kUuid, RequestKind::get_value, "system.memory.usage_percent"), "42.17"),
       R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","topic":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValueResponse","body":{"path":"system.memory.usage_percent","value":42.17}})"},
      {"error reply",
       error_response(kUuid, "unsupported_message_type", "unsupported message type 'GetValues'"),
       R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","topic":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"error","error":{"code":"unsupported_message_type","message":"unsupported message type 'GetValues'"}})"},
      {"data update", with_fixed_identifier(data_update(path("system.cpu.all"), "12.5")),
       R"({"uuid":"d3b07384-9a1e-4f6c-8e2d-5b7a1c0e9f34","topic":"DataUpdate-system.cpu.all","type":"DataUpdate","body":{"path":"system.cpu.all","value":12.5}})"},
      {"data update error",
       with_fixed_identifier(data_update_error(path("system.disks.sda1"), "path_not_found", "no \"sda1\"\there")),
       R"({"uuid":"d3b07384-9a1e-4f6c-8e2d-5b7a1c0e9f34","topic":"DataUpdate-system.disks.sda1","type":"DataUpdate","error":{"code":"path_not_found","message":"no \"sda1\"\there"}})"},
      {"branch update",
       with_fixed_identifier(data_update(path("system.memory"), R"({"free":7,"swap":{"used":0},"usage_percent":100.0,"used":100})")),
       R"({"uuid":"d3b07384-9a1e-4f6c-8e2d-5b7a1c0e9f34","topic":"DataUpdate-system.memory","type":"DataUpdate","body":{"path":"system.memory","value":{"free":7,"swap":{"used":0},"usage_percent":100.0,"used":100}}})"},
      {"empty branch", with_fixed_identifier(data_update(path("system.disks"), "{}")),
       R"({"uuid":"d3b07384-9a1e-4f6c-8e2d-5b7a1c0e9f34","topic":"DataUpdate-system.disks","type":"DataUpdate","body":{"path":"system.disks","value":{}}})"},
      {"GetValue reply of a branch",
       value_response(request(kUuid, RequestKind::get_value, "system.memory"),
                      R"({"free":7,"swap":{"used":0},"usage_percent":100.0,"used":100})"),
       R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","topic":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValueResponse","body":{"path":"system.memory","value":{"free":7,"swap":{"used":0},"usage_percent":100.0,"used":100}}})"},
      {"GetSchema reply",
       schema_response(request(braced, RequestKind::get_schema, "system.memory.swap"), memory().children().at("swap")),
       R"({"uuid":"{6F1C2A9E-3B7D-4E21-9C55-0A8D7E3F4B12}","topic":"{6F1C2A9E-3B7D-4E21-9C55-0A8D7E3F4B12}","type":"GetSchemaResponse","body":{"path":"system.memory.swap","schema":{"children":{"used":{"kind":"value","unit":"bytes","valueType":"uint64"}},"kind":"branch"}}})"},
      {"SubscribeValue reply", subscribe_response(request(urn, RequestKind::subscribe_value, "system.cpu.all"), "12.5"),
       R"({"uuid":"urn:uuid:6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","topic":"urn:uuid:6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"SubscribeValueResponse","body":{"path":"system.cpu.all","subscribed":true,"value":12.5}})"},
      {"UnsubscribeValue reply",
       unsubscribe_response(request(kUuid, RequestKind::unsubscribe_value, "system.cpu.all"), false),
       R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","topic":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"UnsubscribeValueResponse","body":{"path":"system.cpu.all","removed":false}})"},
      {"UnsubscribeValue reply of a held path",
       unsubscribe_response(request(kUuid, RequestKind::unsubscribe_value, "system"), true),
       R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","topic":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"UnsubscribeValueResponse","body":{"path":"system","removed":true}})"},
      {"escaped error texts", error_response("a\"b", "x\\y", "unsupported message type 'Get\"Value\t\x01'"),
       R"({"uuid":"a\"b","topic":"a\"b","type":"error","error":{"code":"x\\y","message":"unsupported message type 'Get\"Value\t\u0001'"}})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.got, c.want);
  }
}

TEST(OutgoingMessagesTest, EveryPushedMessageDrawsItsOwnIdentifier) {
  const SystemPath cpu = path("system.cpu.all");
  std::set<std::string> identifiers;
  for (int i = 0; i < 100; ++i) {
    identifiers.insert(data_update(cpu, "1.0").substr(9, kUuidTextSize));
    identifiers.insert(data_update_error(cpu, "path_not_found", "gone").substr(9, kUuidTextSize));
  }
  EXPECT_EQ(identifiers.size(), 200u);
}

}  // namespace
}  // namespace tarnvale::protocol
