// Sending JSON texts: each one text message, written out before the operation completes.
#pragma once

#include <span>
#include <string>

#include <boost/asio/awaitable.hpp>

#include "platform/result.hpp"
#include "websocket/stream.hpp"

namespace tarnvale::server {

// The text becomes the frame payload without a copy. On failure nothing else is sent and
// nothing is closed: the caller ends the connection.
boost::asio::awaitable<Result<void, websocket::Error>> send_text(websocket::Stream& stream, std::string text);
// The texts of one update pass, each given in two parts, as one message each, in order, in
// one gathered write. The parts are taken at the call; failure as above.
boost::asio::awaitable<Result<void, websocket::Error>> send_text(websocket::Stream& stream,
                                                                 std::span<const websocket::TextParts> texts);

}  // namespace tarnvale::server
