// Sending one JSON text: one text message, flushed before the operation completes.
#pragma once

#include <string>

#include <boost/asio/awaitable.hpp>

#include "platform/result.hpp"
#include "websocket/stream.hpp"

namespace tarnvale::server {

// The text becomes the frame payload without a copy. On failure nothing else is sent and
// nothing is closed: the caller ends the connection.
boost::asio::awaitable<Result<void, websocket::Error>> send_text(websocket::Stream& stream, std::string text);

}  // namespace tarnvale::server
