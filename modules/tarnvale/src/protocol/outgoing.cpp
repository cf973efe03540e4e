#include "protocol/outgoing.hpp"

#include <algorithm>

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

constexpr std::string_view kUpdateUuid = R"({"uuid":")";
static_assert(kUpdateUuid.size() + kUuidTextSize == kUpdateHeadSize);

// ","topic":"DataUpdate-<path>","type":"DataUpdate" of a pushed message, which follows its
// identifier. Neither the fresh identifier nor a path's text holds a character that JSON
// escapes, so both are copied as they are.
std::string open_update_tail(const SystemPath& path, std::size_t payload_size) {
  constexpr std::string_view kTopic = R"(","topic":"DataUpdate-)";
  constexpr std::string_view kType = R"(","type":"DataUpdate")";
  std::string out = start_message(kTopic.size() + path.text().size() + kType.size() + payload_size);
  out.append(kTopic);
  out.append(path.text());
  out.append(kType);
  return out;
}

// Every body begins with its "path"; the keys that follow it sort after "path".
constexpr std::string_view kBodyPath = R"(,"body":{"path":)";
constexpr std::string_view kValueKey = R"(,"value":)";

// The tail of a pushed update up to ,"body":{"path":…, with room for `rest_size` more bytes
// of body and the closing braces.
std::string open_update_body(const SystemPath& path, std::size_t rest_size) {
  std::string out = open_update_tail(path, kBodyPath.size() + path.text().size() + 2 + rest_size + 2);
  out.append(kBodyPath);
  json::write_string(out, path.text());
  return out;
}

// A whole pushed message: its head, then `tail`.
std::string joined_update(std::string_view tail) {
  std::string out(kUpdateHeadSize + tail.size(), '\0');
  write_update_head(out.data());
  tail.copy(out.data() + kUpdateHeadSize, tail.size());
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

// {"uuid":…,"topic":…,"type":…,"body":{"path":<path> of a reply, with room for `rest_size`
// more bytes of body and the closing braces.
std::string open_reply_body(const ClientRequest& request, std::size_t rest_size) {
  const std::string& path = request.path.text();
  std::string out = open_reply(request.uuid, reply_type(request.kind), kBodyPath.size() + path.size() + 2 + rest_size + 2);
  out.append(kBodyPath);
  json::write_string(out, path);
  return out;
}

// A reply or update body that ends with `key` (which holds its own comma, quotes and colon)
// and the written value JSON.
std::string close_body(std::string out, std::string_view key, std::string_view value_json) {
  out.append(key);
  out.append(value_json);
  out.append("}}");
  return out;
}

}  // namespace

std::string_view reply_type(RequestKind kind) { return kReplyTypes[static_cast<std::size_t>(kind)]; }

std::string value_response(const ClientRequest& request, std::string_view value_json) {
  return close_body(open_reply_body(request, kValueKey.size() + value_json.size()), kValueKey, value_json);
}

std::string schema_response(const ClientRequest& request, const tree::DataNode& node) {
  std::string out = open_reply_body(request, 64);
  out.append(R"(,"schema":)");
  json::write(out, node.to_schema_json());
  out.append("}}");
  return out;
}

std::string subscribe_response(const ClientRequest& request, std::string_view value_json) {
  constexpr std::string_view kSubscribedValue = R"(,"subscribed":true,"value":)";
  return close_body(open_reply_body(request, kSubscribedValue.size() + value_json.size()), kSubscribedValue,
                    value_json);
}

std::string unsubscribe_response(const ClientRequest& request, bool removed) {
  constexpr std::string_view kRemoved = R"(,"removed":)";
  const std::string_view flag = removed ? "true" : "false";
  return close_body(open_reply_body(request, kRemoved.size() + flag.size()), kRemoved, flag);
}

std::string error_response(std::string_view uuid, std::string_view code, std::string_view message) {
  std::string out = open_reply(uuid, "error", error_size(code, message));
  close_with_error(out, code, message);
  return out;
}

std::string error_response(std::string_view uuid, FixedError error) {
  return error_response(uuid, error.code, error.message);
}

std::string data_update(const SystemPath& path, std::string_view value_json) {
  return joined_update(data_update_tail(path, value_json));
}

std::string data_update_error(const SystemPath& path, std::string_view code, std::string_view message) {
  return joined_update(data_update_error_tail(path, code, message));
}

void write_update_head(char* out) {
  kUpdateUuid.copy(out, kUpdateUuid.size());
  write_random_uuid(out + kUpdateUuid.size());
}

std::string data_update_tail(const SystemPath& path, std::string_view value_json) {
  return close_body(open_update_body(path, kValueKey.size() + value_json.size()), kValueKey, value_json);
}

std::string data_update_error_tail(const SystemPath& path, std::string_view code, std::string_view message) {
  std::string out = open_update_tail(path, error_size(code, message));
  close_with_error(out, code, message);
  return out;
}

}  // namespace tarnvale::protocol
