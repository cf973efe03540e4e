// The listening socket and the system calls around it: the numeric address, the socket
// with its options, one accept, and what an accept error means for the accept loop.
#pragma once

#include <netinet/in.h>

#include <string>
#include <string_view>

#include "platform/io_error.hpp"
#include "platform/result.hpp"

namespace tarnvale::server {

// "a.b.c.d:port" with a numeric IPv4 address and a decimal port; EINVAL otherwise.
Result<sockaddr_in, platform::IoError> parse_address(std::string_view text);

// A non-blocking, close-on-exec TCP socket with SO_REUSEADDR, bound to `addr`, listening
// with a backlog of 128; the caller owns the descriptor.
Result<int, platform::IoError> open_listener(const sockaddr_in& addr);

struct Accepted {
  int fd;
  sockaddr_in peer;
};

// Takes one pending connection from `listener` without waiting, or yields the errno.
//
// accept4 is called directly rather than through Asio: the new socket comes non-blocking
// and close-on-exec in the same call, the accept loop sees the raw errno that decides
// between skipping, pausing and failing, and a burst of pending connections is taken
// without a trip through the reactor for each.
Result<Accepted, int> accept_connection(int listener);

// What an accept error means for the loop.
enum class AcceptError {
  would_block,     // the backlog is empty: wait for readiness
  per_connection,  // only the connection being accepted is gone: take the next one
  shortage,        // descriptors or memory run short for a while: pause accepting
  fatal,           // anything else ends the listener
};
AcceptError classify_accept_error(int code);

// "a.b.c.d:port" of a peer.
std::string peer_text(const sockaddr_in& peer);

}  // namespace tarnvale::server
