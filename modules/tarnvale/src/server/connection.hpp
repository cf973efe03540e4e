// One client connection: the opening handshake, then a loop that serves the client's
// messages and the store's ticks one at a time.
#pragma once

#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "platform/result.hpp"
#include "tree/data_store.hpp"
#include "websocket/stream.hpp"

namespace tarnvale::server {

// Success when the connection ended by a close from either side or the end of the stream;
// otherwise the WebSocket error that ended it. After a close frame went out the socket is
// left to a lingering close; on an error it is closed at once.
boost::asio::awaitable<Result<void, websocket::Error>> handle_connection(boost::asio::ip::tcp::socket socket,
                                                                         tree::DataStore store);

// How a connection ended without error.
enum class ConnectionEnd {
  close_sent,  // a close frame went out: the server's own, or its answer to the client's
  no_close,    // nothing was sent: the tick channel closed
};

// The loop after a completed handshake (the connection's own part, usable on any stream).
boost::asio::awaitable<Result<ConnectionEnd, websocket::Error>> serve_connection(websocket::Stream& stream,
                                                                                 tree::DataStore store);

}  // namespace tarnvale::server
