// The update pass after a tick: one pushed message per subscribed path, in path order.
#pragma once

#include <boost/asio/awaitable.hpp>

#include "platform/result.hpp"
#include "server/detail/subscriptions.hpp"
#include "tree/data_store.hpp"
#include "websocket/stream.hpp"

namespace tarnvale::server {

// Nothing for an empty map; otherwise one snapshot, then per path a data update, or an
// update error for a path that is not in the tree, all in one gathered write. A failed write
// ends the pass with its error.
boost::asio::awaitable<Result<void, websocket::Error>> publish_updates(websocket::Stream& stream,
                                                                       const tree::DataStore& store,
                                                                       const Subscriptions& subscriptions);

}  // namespace tarnvale::server
