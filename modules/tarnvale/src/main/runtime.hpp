// The process entry's runtime: one single-threaded io_context that runs the main task to
// its end, is shut down, and only then turns the task's result into output and exit status.
#pragma once

#include "platform/result.hpp"
#include <functional>

#include <boost/asio/awaitable.hpp>

#include "platform/io_error.hpp"

namespace tarnvale::main {

using MainResult = Result<void, platform::IoError>;
using MainTask = std::function<boost::asio::awaitable<MainResult>()>;

// Standard input, output and error that are closed get /dev/null; SIGPIPE is ignored;
// standard output is line-buffered and standard error unbuffered.
void prepare_process();

// Runs `task` on a new single-threaded runtime until it completes, then shuts the runtime
// down (every other task is cancelled and its sockets closed). Returns the exit status:
// 1 with the "Error: " line for an error result, 101 with a fault report for an internal
// fault of the main task, 0 for success.
int run_main(const MainTask& task);

}  // namespace tarnvale::main
