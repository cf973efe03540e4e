// A connection's subscriptions: path text exactly as subscribed -> its parsed path, in
// byte-wise order of the texts, at most 128 entries.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>

#include "protocol/system_path.hpp"

namespace tarnvale::server {

inline constexpr std::size_t MAX_CONNECTION_SUBSCRIPTIONS = 128;

using Subscriptions = std::map<std::string, protocol::SystemPath, std::less<>>;

}  // namespace tarnvale::server
