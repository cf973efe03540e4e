#include "server/request_handling.hpp"

#include <memory>
#include <string>

#include "json/value.hpp"
#include "protocol/outgoing.hpp"
#include "protocol/request.hpp"
#include "server/resolve.hpp"
#include "server/send_text.hpp"

namespace tarnvale::server {

namespace {

using protocol::ClientRequest;
using protocol::RequestKind;


std::string unsubscribe(const ClientRequest& request, Subscriptions& subscriptions) {
  const bool removed = subscriptions.erase(request.path.text()) > 0;
  json::Object body;
  body.emplace("path", request.path.text());
  body.emplace("removed", removed);
  return protocol::success_response(request, std::move(body));
}

// The reply to a request that reads the tree; the snapshot is released when this returns.
std::string answer_from_tree(const ClientRequest& request, const tree::DataStore& store,
                             Subscriptions& subscriptions) {
  const std::shared_ptr<const tree::DataTree> snapshot = store.snapshot_tree();
  if (!snapshot) {
    return protocol::error_response(request.uuid, "data_not_ready", "the first complete system sample is not available");
  }
  const tree::DataNode* node = resolve(snapshot->root(), request.path);
  if (node == nullptr) {
    return protocol::error_response(request.uuid, kPathNotFound, path_not_found_message(request.path));
  }

  switch (request.kind) {
    case RequestKind::GetSchema:
      return protocol::success_response(request, protocol::schema_body(request.path, *node));
    case RequestKind::GetValue:
      // The value text is shared with every other reader of this tree, pushed updates too.
      return protocol::value_response(request, snapshot->value_text(*node));
    case RequestKind::SubscribeValue: {
      const std::string& key = request.path.text();
      if (!subscriptions.contains(key) && subscriptions.size() >= MAX_CONNECTION_SUBSCRIPTIONS) {
        return protocol::error_response(request.uuid, "subscription_limit",
                                        "the connection has reached its subscription limit");
      }
      subscriptions.insert_or_assign(key, request.path);
      json::Object body;
      body.emplace("path", key);
      body.emplace("subscribed", true);
      body.emplace("value", node->to_json_value());
      return protocol::success_response(request, std::move(body));
    }
    case RequestKind::UnsubscribeValue:
      break;
  }
  return unsubscribe(request, subscriptions);
}

}  // namespace

boost::asio::awaitable<Result<bool, websocket::Error>> handle_text_request(websocket::Stream& stream,
                                                                           const tree::DataStore& store,
                                                                           Subscriptions& subscriptions,
                                                                           std::string_view text) {
  auto decoded = protocol::decode_request(text);
  std::string reply;
  if (!decoded) {
    const auto& error = decoded.error();
    if (!error.uuid) {
      // No reply can name the request: close instead, and send nothing else.
      auto closed = co_await stream.close(kCloseNoUsableUuid, kReasonNoUsableUuid);
      if (!closed) co_return unexpected(std::move(closed).error());
      co_return false;
    }
    reply = protocol::error_response(*error.uuid, error.code, error.message);
  } else if (decoded->kind == RequestKind::UnsubscribeValue) {
    // Answered from the subscriptions alone: works before the first sample and for paths
    // that are not in the tree.
    reply = unsubscribe(*decoded, subscriptions);
  } else {
    reply = answer_from_tree(*decoded, store, subscriptions);
  }
  auto sent = co_await send_text(stream, std::move(reply));
  if (!sent) co_return unexpected(std::move(sent).error());
  co_return true;
}

}  // namespace tarnvale::server
