#include "server/detail/request_handling.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/codes.hpp"
#include "protocol/outgoing.hpp"
#include "protocol/request.hpp"
#include "server/detail/resolve.hpp"
#include "server/detail/send_text.hpp"

namespace tarnvale::server {

namespace {

using protocol::ClientRequest;
using protocol::RequestKind;

// The reply to a request that reads the tree; the snapshot is released when this returns.
std::string answer_from_tree(const ClientRequest& request, const tree::DataStore& store,
                             Subscriptions& subscriptions) {
  const std::shared_ptr<const tree::DataTree> snapshot = store.snapshot_tree();
  if (!snapshot) return protocol::error_response(request.uuid, protocol::kDataNotReady);
  const tree::DataNode* node = resolve(snapshot->root(), request.path);
  if (node == nullptr) {
    return protocol::error_response(request.uuid, protocol::kPathNotFound,
                                    protocol::path_not_found_message(request.path.text()));
  }
  if (request.kind == RequestKind::get_schema) return protocol::schema_response(request, *node);
  if (request.kind == RequestKind::subscribe_value) {
    const std::string& key = request.path.text();
    if (!subscriptions.contains(key) && subscriptions.size() >= MAX_CONNECTION_SUBSCRIPTIONS) {
      return protocol::error_response(request.uuid, protocol::kSubscriptionLimit);
    }
    subscriptions.insert_or_assign(key, request.path);
    return protocol::subscribe_response(request, snapshot->value_text(*node));
  }
  // The value text is shared with every other reader of this tree, pushed updates too.
  return protocol::value_response(request, snapshot->value_text(*node));
}

// The reply to a decoded request.
std::string answer(const ClientRequest& request, const tree::DataStore& store, Subscriptions& subscriptions) {
  if (request.kind != RequestKind::unsubscribe_value) return answer_from_tree(request, store, subscriptions);
  // Answered from the subscriptions alone: works before the first sample and for paths
  // that are not in the tree.
  const bool removed = subscriptions.erase(request.path.text()) > 0;
  return protocol::unsubscribe_response(request, removed);
}

// The reply to a message, none when no reply can name it (it has no usable uuid).
std::optional<std::string> reply_to(std::string_view text, const tree::DataStore& store,
                                    Subscriptions& subscriptions) {
  auto decoded = protocol::decode_request(text);
  if (decoded) return answer(*decoded, store, subscriptions);
  const auto& error = decoded.error();
  if (!error.uuid) return std::nullopt;
  return protocol::error_response(*error.uuid, error.code, error.message);
}

}  // namespace

boost::asio::awaitable<StepResult> handle_text_request(websocket::Stream& stream, const tree::DataStore& store,
                                                     Subscriptions& subscriptions, websocket::MessageBuffer text) {
  auto reply = reply_to(text, store, subscriptions);
  text = websocket::MessageBuffer();
  if (!reply) {
    // No reply can name the request: close instead, and send nothing else.
    const auto& close = protocol::kCloseNoUsableUuid;
    auto closed = co_await stream.close(close.code, close.reason);
    if (!closed) co_return unexpected(std::move(closed).error());
    co_return Step::closed;
  }
  auto sent = co_await send_text(stream, std::move(*reply));
  if (!sent) co_return unexpected(std::move(sent).error());
  co_return Step::next;
}

}  // namespace tarnvale::server
