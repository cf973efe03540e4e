// The main task: makes the store and the metrics source, publishes the first sample,
// starts the sampler and runs the listener for the rest of the process's life.
#pragma once

#include "main/runtime.hpp"

namespace tarnvale::main {

boost::asio::awaitable<MainResult> main_task();

}  // namespace tarnvale::main
