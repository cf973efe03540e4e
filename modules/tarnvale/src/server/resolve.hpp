// Finding a node by path: the walk from a node down its children, one segment at a time.
#pragma once

#include <string>
#include <string_view>

#include "protocol/system_path.hpp"
#include "tree/data_node.hpp"

namespace tarnvale::server {

// The node that `path` names below `node` (the first segment selects a child of `node`),
// or nullptr. The result points into `node`.
const tree::DataNode* resolve(const tree::DataNode& node, const protocol::SystemPath& path);

// The "path_not_found" message of replies and pushed updates alike.
inline constexpr std::string_view kPathNotFound = "path_not_found";
std::string path_not_found_message(const protocol::SystemPath& path);

}  // namespace tarnvale::server
