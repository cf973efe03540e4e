// Outgoing messages: the value and schema bodies, the success and error replies to a
// request, and the pushed "DataUpdate" messages, each as one compact JSON text whose keys
// go out as "uuid", "topic", "type", then "body" or "error".
#pragma once

#include <string>
#include <string_view>

#include "json/value.hpp"
#include "protocol/request.hpp"
#include "protocol/system_path.hpp"
#include "tree/data_node.hpp"

namespace tarnvale::protocol {

// {"path": <path text>, "value": <the node's value JSON>}.
json::Value value_body(const SystemPath& path, const tree::DataNode& node);
// {"path": <path text>, "schema": <the node's schema JSON>}.
json::Value schema_body(const SystemPath& path, const tree::DataNode& node);

// "GetSchemaResponse", "GetValueResponse", "SubscribeValueResponse" or "UnsubscribeValueResponse".
std::string_view reply_type(RequestKind kind);

// The reply to `request` carrying `body`; "uuid" and "topic" repeat the request's uuid text.
std::string success_response(const ClientRequest& request, json::Value body);
// The reply to a GetValue `request` from its node's value JSON already written
// (DataTree::value_text): the text of success_response(request, value_body(path, node)).
std::string value_response(const ClientRequest& request, std::string_view value_json);
// The "error" reply with {"code","message"} to the request whose uuid text is `uuid`.
std::string error_response(std::string_view uuid, std::string_view code, std::string_view message);

// One pushed update of the node under `path`, with a fresh identifier and the topic
// "DataUpdate-<path>". The node's JSON is written straight into the message.
std::string data_update(const SystemPath& path, const tree::DataNode& node);
// The same message from the node's value JSON already written (DataTree::value_text).
std::string data_update(const SystemPath& path, std::string_view value_json);
// One pushed update that reports an error for `path` instead of a value.
std::string data_update_error(const SystemPath& path, std::string_view code, std::string_view message);

}  // namespace tarnvale::protocol
