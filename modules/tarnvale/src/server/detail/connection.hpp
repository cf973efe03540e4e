// One client connection: the opening handshake, then a loop that serves the client's
// messages and the store's ticks one at a time.
#pragma once

#include <memory>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "platform/result.hpp"
#include "server/detail/step.hpp"
#include "tree/data_store.hpp"
#include "websocket/stream.hpp"

namespace tarnvale::server {

// Success when the connection ended by a close from either side or the end of the stream;
// otherwise the WebSocket error that ended it. After a close frame went out the socket is
// left to a lingering close; on an error it is closed at once. The input it holds unfinished
// counts against `budget`.
boost::asio::awaitable<Result<void, websocket::Error>> handle_connection(
    boost::asio::ip::tcp::socket socket, tree::DataStore store, std::shared_ptr<websocket::InputBudget> budget);

// The loop after a completed handshake (the connection's own part, usable on any stream):
// runs until a step ends the connection, Step::closed or Step::ended, or an error does.
boost::asio::awaitable<StepResult> serve_connection(websocket::Stream& stream, tree::DataStore store);

}  // namespace tarnvale::server
