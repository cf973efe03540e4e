#include "server/detail/update_pass.hpp"

#include <memory>
#include <string>

#include "protocol/codes.hpp"
#include "protocol/outgoing.hpp"
#include "server/detail/resolve.hpp"
#include "server/detail/send_text.hpp"

namespace tarnvale::server {

boost::asio::awaitable<Result<void, websocket::Error>> publish_updates(websocket::Stream& stream,
                                                                       const tree::DataStore& store,
                                                                       const Subscriptions& subscriptions) {
  if (subscriptions.empty()) co_return Result<void, websocket::Error>{};
  const std::shared_ptr<const tree::DataTree> snapshot = store.snapshot_tree();
  if (!snapshot) co_return Result<void, websocket::Error>{};
  for (const auto& [_, path] : subscriptions) {
    const tree::DataNode* node = resolve(snapshot->root(), path);
    // The value is written once per published tree and shared by every connection.
    std::string message = node != nullptr ? protocol::data_update(path, snapshot->value_text(*node))
                                          : protocol::data_update_error(path, protocol::kPathNotFound,
                                                                                  protocol::path_not_found_message(path.text()));
    auto sent = co_await send_text(stream, std::move(message));
    if (!sent) co_return unexpected(std::move(sent).error());
  }
  co_return Result<void, websocket::Error>{};
}

}  // namespace tarnvale::server
