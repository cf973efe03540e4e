// Answering one text message of a connection: decode, answer from the subscriptions or a
// snapshot, send exactly one reply, or close for a message without a usable uuid.
#pragma once

#include <boost/asio/awaitable.hpp>

#include "platform/result.hpp"
#include "server/detail/step.hpp"
#include "server/detail/subscriptions.hpp"
#include "tree/data_store.hpp"
#include "websocket/stream.hpp"

namespace tarnvale::server {

// Step::next after a reply was sent and flushed; Step::closed after the close for a request
// without a usable uuid was sent; the WebSocket error of a failed send. The message is let go
// once its reply is made, before the reply is sent: a client that does not read holds the
// reply, not the request too.
boost::asio::awaitable<StepResult> handle_text_request(websocket::Stream& stream, const tree::DataStore& store,
                                                       Subscriptions& subscriptions, websocket::MessageBuffer text);

}  // namespace tarnvale::server
