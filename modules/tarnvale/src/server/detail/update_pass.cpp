#include "server/detail/update_pass.hpp"

#include <memory>
#include <string>
#include <vector>

#include "protocol/codes.hpp"
#include "protocol/outgoing.hpp"
#include "server/detail/resolve.hpp"
#include "server/detail/send_text.hpp"

namespace tarnvale::server {

namespace {

// The messages of one pass, shared by the thread's connections: a pass builds them and hands
// them to its write without waiting in between, and the write takes them at once.
struct PassTexts {
  std::vector<char> heads;  // protocol::kUpdateHeadSize bytes per message
  std::vector<websocket::TextParts> texts;
};

PassTexts& pass_texts() {
  thread_local PassTexts texts;
  return texts;
}

// All of an update of `path` from `tree` but its head.
std::string update_tail(const tree::DataTree& tree, const protocol::SystemPath& path) {
  const tree::DataNode* node = resolve(tree.root(), path);
  if (node == nullptr) {
    return protocol::data_update_error_tail(path, protocol::kPathNotFound, protocol::path_not_found_message(path.text()));
  }
  return protocol::data_update_tail(path, tree.value_text(*node));
}

}  // namespace

boost::asio::awaitable<Result<void, websocket::Error>> publish_updates(websocket::Stream& stream,
                                                                       const tree::DataStore& store,
                                                                       const Subscriptions& subscriptions) {
  if (subscriptions.empty()) co_return Result<void, websocket::Error>{};
  const std::shared_ptr<const tree::DataTree> snapshot = store.snapshot_tree();
  if (!snapshot) co_return Result<void, websocket::Error>{};
  auto& pass = pass_texts();
  pass.heads.resize(subscriptions.size() * protocol::kUpdateHeadSize);
  pass.texts.clear();
  char* head = pass.heads.data();
  for (const auto& [text, path] : subscriptions) {
    // Built once per published tree and path, and shared by every connection that pushes it;
    // each message has only its fresh identifier of its own.
    const std::string_view tail = snapshot->derived_text(text, [&] { return update_tail(*snapshot, path); });
    protocol::write_update_head(head);
    pass.texts.push_back({{head, protocol::kUpdateHeadSize}, tail});
    head += protocol::kUpdateHeadSize;
  }
  co_return co_await send_text(stream, pass.texts);
}

}  // namespace tarnvale::server
