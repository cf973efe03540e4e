// Every text the service sends: one builder per reply body and per pushed message, each
// returning one compact JSON text whose keys go out as "uuid", "topic", "type", then "body"
// or "error", and whose body keys go out in byte-wise order.
//
// A node's value is given as its compact value JSON, written once per published tree
// (DataTree::value_text) and shared by every reply and update that carries it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/codes.hpp"
#include "protocol/request.hpp"
#include "protocol/system_path.hpp"
#include "protocol/uuid.hpp"
#include "tree/data_node.hpp"

namespace tarnvale::protocol {

// "GetSchemaResponse", "GetValueResponse", "SubscribeValueResponse" or "UnsubscribeValueResponse".
std::string_view reply_type(RequestKind kind);

// GetValue: {"path":…,"value":…}.
std::string value_response(const ClientRequest& request, std::string_view value_json);
// GetSchema: {"path":…,"schema":…} with the node's schema JSON.
std::string schema_response(const ClientRequest& request, const tree::DataNode& node);
// SubscribeValue: {"path":…,"subscribed":true,"value":…}, the path's current value.
std::string subscribe_response(const ClientRequest& request, std::string_view value_json);
// UnsubscribeValue: {"path":…,"removed":…}; `removed` is false when the path was not held.
std::string unsubscribe_response(const ClientRequest& request, bool removed);
// The "error" reply with {"code","message"} to the request whose uuid text is `uuid`.
std::string error_response(std::string_view uuid, std::string_view code, std::string_view message);
std::string error_response(std::string_view uuid, FixedError error);

// One pushed update of the node under `path`, with a fresh identifier and the topic
// "DataUpdate-<path>".
std::string data_update(const SystemPath& path, std::string_view value_json);
// One pushed update that reports an error for `path` instead of a value.
std::string data_update_error(const SystemPath& path, std::string_view code, std::string_view message);

// The same updates in two parts, so that the part which is the same for every update of one
// path from one tree is built once: the head, {"uuid":" and a fresh identifier, written anew
// for every message (kUpdateHeadSize bytes at `out`), and the tail, all that follows it.
inline constexpr std::size_t kUpdateHeadSize = 9 + kUuidTextSize;
void write_update_head(char* out);
std::string data_update_tail(const SystemPath& path, std::string_view value_json);
std::string data_update_error_tail(const SystemPath& path, std::string_view code, std::string_view message);

}  // namespace tarnvale::protocol
