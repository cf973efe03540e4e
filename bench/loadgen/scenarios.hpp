// The measured scenarios. Each prints its figures as one line and returns the exit status.
#pragma once

#include "loadgen/options.hpp"

namespace tarnvale::loadgen {

// Every client subscribes to "system" and "system.cpu.all"; per tick, the time from the
// first update's arrival at any client to the last one's, and the service's CPU time.
int run_updates(const Options& options);
// GetValue of one leaf, answered and asked again as fast as the service replies.
int run_get_value(const Options& options);
// The service's resident memory with no client and with idle clients.
int run_idle(const Options& options);

}  // namespace tarnvale::loadgen
