// The TCP listener and accept loop: one detached connection task per accepted connection.
#pragma once

#include <string_view>

#include <boost/asio/awaitable.hpp>

#include "platform/io_error.hpp"
#include "platform/result.hpp"
#include "tree/data_store.hpp"

namespace tarnvale::server {

// Binds the numeric IPv4 address "a.b.c.d:port", writes "tarnvale listening on ws://" +
// address to standard output, then accepts for the rest of the process. Completes only
// with the error that ended it: a failed bind, or an accept error that is neither
// per-connection nor a passing shortage of descriptors or memory.
boost::asio::awaitable<Result<void, platform::IoError>> serve(std::string_view address, tree::DataStore store);

}  // namespace tarnvale::server
