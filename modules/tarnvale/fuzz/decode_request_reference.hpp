// The request decoder as it was before it read requests in place: the generic reader builds
// the whole value, and the envelope is judged on that. Kept as the reference that the
// decoder is checked against.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "json/reader.hpp"
#include "json/value.hpp"
#include "json/writer.hpp"
#include "platform/io_error.hpp"
#include "protocol/request.hpp"
#include "protocol/uuid.hpp"

namespace tarnvale::protocol::reference {

struct KindName {
  std::string_view type;
  RequestKind kind;
};

inline constexpr KindName kKinds[] = {
    {"GetSchema", RequestKind::get_schema},
    {"GetValue", RequestKind::get_value},
    {"SubscribeValue", RequestKind::subscribe_value},
    {"UnsubscribeValue", RequestKind::unsubscribe_value},
};

// How an envelope error names the value it found.
inline std::string describe(const json::Value& value) {
  std::string out;
  if (value.is_null()) {
    out = "null";
  } else if (value.is_bool()) {
    out = value.as_bool() ? "boolean `true`" : "boolean `false`";
  } else if (value.is_uint() || value.is_int()) {
    out = "integer `";
    if (value.is_uint()) {
      json::write_uint(out, value.as_uint());
    } else {
      json::write_int(out, value.as_int());
    }
    out.push_back('`');
  } else if (value.is_double()) {
    out = "floating point `";
    json::write_plain_double(out, value.as_double());
    out.push_back('`');
  } else if (value.is_string()) {
    out = "string " + platform::debug_quote(value.as_string());
  } else if (value.is_array()) {
    out = "sequence";
  } else {
    out = "map";
  }
  return out;
}

inline std::string invalid_type(const json::Value& found, std::string_view expected) {
  std::string out = "invalid type: " + describe(found) + ", expected ";
  out.append(expected);
  return out;
}

// The path text of the request body: {"path": "…"} or ["…"].
inline Result<const std::string*, std::string> decode_path_body(const json::Value& body) {
  if (body.is_object()) {
    const std::string* path = nullptr;
    for (const auto& [key, value] : body.as_object()) {
      if (key != "path") return unexpected("unknown field `" + key + "`, expected `path`");
      if (!value.is_string()) return unexpected(invalid_type(value, "a string"));
      path = &value.as_string();
    }
    if (path == nullptr) return unexpected(std::string("missing field `path`"));
    return path;
  }
  if (body.is_array()) {
    const json::Array& items = body.as_array();
    if (items.empty()) return unexpected(std::string("invalid length 0, expected struct PathBody with 1 element"));
    if (!items.front().is_string()) return unexpected(invalid_type(items.front(), "a string"));
    if (items.size() > 1) {
      return unexpected("invalid length " + std::to_string(items.size()) + ", expected fewer elements in array");
    }
    return &items.front().as_string();
  }
  return unexpected(invalid_type(body, "struct PathBody"));
}

// What decode_request returns for `text`.
inline Result<ClientRequest, RequestDecodeError> decode_request(std::string_view text) {
  auto parsed = json::read(text);
  if (!parsed) {
    return unexpected(
        RequestDecodeError{kInvalidMessage, "request is not valid JSON: " + parsed.error().message(), std::nullopt});
  }

  json::Object* object = parsed->is_object() ? &parsed->as_object() : nullptr;
  std::string* uuid = nullptr;
  if (object != nullptr) {
    const auto it = object->find("uuid");
    if (it != object->end() && it->second.is_string() && is_uuid_text(it->second.as_string())) {
      uuid = &it->second.as_string();
    }
  }
  if (uuid == nullptr) {
    return unexpected(RequestDecodeError{kInvalidMessage, "request must contain a valid UUID string", std::nullopt});
  }
  auto refuse = [&](std::string_view code, std::string message) {
    return unexpected(RequestDecodeError{code, std::move(message), *uuid});
  };

  // The envelope: members in key order, each key checked before its value; missing
  // members only once every present one was acceptable.
  const std::string* type = nullptr;
  const std::string* path = nullptr;
  for (const auto& [key, value] : *object) {
    if (key == "body") {
      auto body = decode_path_body(value);
      if (!body) return refuse(kInvalidMessage, "request envelope is invalid: " + body.error());
      path = *body;
    } else if (key == "type") {
      if (!value.is_string()) {
        return refuse(kInvalidMessage, "request envelope is invalid: " + invalid_type(value, "a string"));
      }
      type = &value.as_string();
    } else if (key != "uuid") {
      return refuse(kInvalidMessage,
                    "request envelope is invalid: unknown field `" + key + "`, expected one of `uuid`, `type`, `body`");
    }
  }
  if (type == nullptr) return refuse(kInvalidMessage, "request envelope is invalid: missing field `type`");
  if (path == nullptr) return refuse(kInvalidMessage, "request envelope is invalid: missing field `body`");

  const KindName* kind = nullptr;
  for (const auto& candidate : kKinds) {
    if (candidate.type == *type) kind = &candidate;
  }
  if (kind == nullptr) return refuse(kUnsupportedMessageType, "unsupported message type '" + *type + "'");

  auto system_path = SystemPath::parse(*path);
  if (!system_path) return refuse(kInvalidPath, std::string(system_path.error()));

  return ClientRequest{std::move(*uuid), std::move(*system_path), kind->kind};
}

}  // namespace tarnvale::protocol::reference
