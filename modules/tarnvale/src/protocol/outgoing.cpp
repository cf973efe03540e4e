#include "protocol/outgoing.hpp"

#include <algorithm>
#include <utility>

#include "json/writer.hpp"
#include "protocol/uuid.hpp"

namespace tarnvale::protocol {

namespace {

// Every message starts with room for this much and grows as needed.
constexpr std::size_t kInitialCapacity = 128;

constexpr std::string_view kReplyTypes[] = {
    "GetSchemaResponse",
    "GetValueResponse",
    "SubscribeValueResponse",
    "UnsubscribeValueResponse",
};

std::string start_message(std::size_t expected_size) {
  std::string out;
  out.reserve(std::max(kInitialCapacity, expected_size));
  return out;
}

// {"uuid":…,"topic":…,"type":… of a reply: "uuid" and "topic" are both the request's uuid.
std::string open_reply(std::string_view uuid, std::string_view type, std::size_t payload_size) {
  std::string out = start_message(40 + 2 * uuid.size() + type.size() + payload_size);
  out.append(R"({"uuid":)");
  json::write_string(out, uuid);
  out.append(R"(,"topic":)");
  json::write_string(out, uuid);
  out.append(R"(,"type":)");
  json::write_string(out, type);
  return out;
}

// {"uuid":…,"topic":…,"type":"DataUpdate" of a pushed message. Neither the fresh identifier
// nor a path's text holds a character that JSON escapes, so both are copied as they are.
std::string open_update(const SystemPath& path, std::size_t payload_size) {
  constexpr std::string_view kUuid = R"({"uuid":")";
  constexpr std::string_view kTopic = R"(","topic":"DataUpdate-)";
  constexpr std::string_view kType = R"(","type":"DataUpdate")";
  std::string out =
      start_message(kUuid.size() + kUuidTextSize + kTopic.size() + path.text().size() + kType.size() + payload_size);
  out.append(kUuid);
  append_random_uuid(out);
  out.append(kTopic);
  out.append(path.text());
  out.append(kType);
  return out;
}

// {"uuid":…,"topic":…,"type":"DataUpdate","body":{"path":…,"value": of a pushed update, with
// room for `value_size` bytes of value and the closing braces.
std::string open_update_body(const SystemPath& path, std::size_t value_size) {
  constexpr std::string_view kBody = R"(,"body":{"path":)";
  constexpr std::string_view kValue = R"(,"value":)";
  std::string out = open_update(path, kBody.size() + path.text().size() + 2 + kValue.size() + value_size + 2);
  out.append(kBody);
  json::write_string(out, path.text());
  out.append(kValue);
  return out;
}

// ,"error":{"code":…,"message":…}} closing the message.
void close_with_error(std::string& out, std::string_view code, std::string_view message) {
  out.append(R"(,"error":{"code":)");
  json::write_string(out, code);
  out.append(R"(,"message":)");
  json::write_string(out, message);
  out.append("}}");
}

std::size_t error_size(std::string_view code, std::string_view message) {
  return 32 + code.size() + message.size();
}

json::Value path_body(const SystemPath& path, std::string_view key, json::Value payload) {
  json::Object body;
  body.emplace("path", path.text());
  body.emplace(std::string(key), std::move(payload));
  return body;
}

}  // namespace

json::Value value_body(const SystemPath& path, const tree::DataNode& node) {
  return path_body(path, "value", node.to_json_value());
}

json::Value schema_body(const SystemPath& path, const tree::DataNode& node) {
  return path_body(path, "schema", node.to_schema_json());
}

std::string_view reply_type(RequestKind kind) { return kReplyTypes[static_cast<std::size_t>(kind)]; }

std::string success_response(const ClientRequest& request, json::Value body) {
  std::string out = open_reply(request.uuid, reply_type(request.kind), 64);
  out.append(R"(,"body":)");
  json::write(out, body);
  out.push_back('}');
  return out;
}

std::string value_response(const ClientRequest& request, std::string_view value_json) {
  constexpr std::string_view kBody = R"(,"body":{"path":)";
  constexpr std::string_view kValue = R"(,"value":)";
  const std::string& path = request.path.text();
  std::string out = open_reply(request.uuid, reply_type(RequestKind::GetValue),
                               kBody.size() + path.size() + 2 + kValue.size() + value_json.size() + 2);
  out.append(kBody);
  json::write_string(out, path);
  out.append(kValue);
  out.append(value_json);
  out.append("}}");
  return out;
}

std::string error_response(std::string_view uuid, std::string_view code, std::string_view message) {
  std::string out = open_reply(uuid, "error", error_size(code, message));
  close_with_error(out, code, message);
  return out;
}

std::string data_update(const SystemPath& path, const tree::DataNode& node) {
  // Room for a leaf's value; a branch grows the buffer as it is written.
  std::string out = open_update_body(path, 32);
  node.write_json_value(out);
  out.append("}}");
  return out;
}

std::string data_update(const SystemPath& path, std::string_view value_json) {
  std::string out = open_update_body(path, value_json.size());
  out.append(value_json);
  out.append("}}");
  return out;
}

std::string data_update_error(const SystemPath& path, std::string_view code, std::string_view message) {
  std::string out = open_update(path, error_size(code, message));
  close_with_error(out, code, message);
  return out;
}

}  // namespace tarnvale::protocol
