// Closing a connection's socket after its last frame without a reset: the client receives
// everything sent before, then an orderly end of the stream, whatever it sends meanwhile.
#pragma once

#include <chrono>

#include <boost/asio/ip/tcp.hpp>

namespace tarnvale::server {

// How long a lingering socket waits for more input, and how long it lingers in all.
inline constexpr std::chrono::milliseconds kLingerIdle = std::chrono::seconds(5);
inline constexpr std::chrono::milliseconds kLingerTotal = std::chrono::seconds(30);

// Ends the sending side at once, so the end of the stream follows the bytes already queued,
// then reads and discards the client's input until the client ends its side, a read fails,
// `idle` passes without input or `total` passes in all, and only then closes the socket.
// Returns at once: the rest runs as a task of its own on the socket's executor.
void close_lingering(boost::asio::ip::tcp::socket socket, std::chrono::milliseconds idle = kLingerIdle,
                     std::chrono::milliseconds total = kLingerTotal);

}  // namespace tarnvale::server
