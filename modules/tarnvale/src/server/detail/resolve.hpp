// Finding a node by path: the walk from a node down its children, one segment at a time.
#pragma once

#include "protocol/system_path.hpp"
#include "tree/data_node.hpp"

namespace tarnvale::server {

// The node that `path` names below `node` (the first segment selects a child of `node`),
// or nullptr. The result points into `node`.
const tree::DataNode* resolve(const tree::DataNode& node, const protocol::SystemPath& path);

}  // namespace tarnvale::server
