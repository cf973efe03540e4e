#include "server/detail/resolve.hpp"

namespace tarnvale::server {

const tree::DataNode* resolve(const tree::DataNode& node, const protocol::SystemPath& path) {
  const tree::DataNode* current = &node;
  for (const auto& segment : path.segments()) {
    current = current->child(segment);
    if (current == nullptr) return nullptr;
  }
  return current;
}

}  // namespace tarnvale::server
