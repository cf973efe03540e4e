// Answering one text message of a connection: decode, answer from the subscriptions or a
// snapshot, send exactly one reply, or close for a message without a usable uuid.
#pragma once

#include <string_view>

#include <boost/asio/awaitable.hpp>

#include "platform/result.hpp"
#include "server/subscriptions.hpp"
#include "tree/data_store.hpp"
#include "websocket/stream.hpp"

namespace tarnvale::server {

// True after a reply was sent and flushed; false after the close for a request without a
// usable uuid was sent (the connection ends); the WebSocket error of a failed send.
boost::asio::awaitable<Result<bool, websocket::Error>> handle_text_request(websocket::Stream& stream,
                                                                           const tree::DataStore& store,
                                                                           Subscriptions& subscriptions,
                                                                           std::string_view text);

}  // namespace tarnvale::server
