// The sampler's tick grid: deadlines at t0 + k × period, with missed ticks skipped.
#pragma once

#include <chrono>

namespace tarnvale::sampler {

using Clock = std::chrono::steady_clock;

// The first grid point strictly later than `taken`, for a tick due at `deadline`. A tick
// taken on time gives deadline + period; a late one drops the grid points it passed.
Clock::time_point next_deadline(Clock::time_point deadline, Clock::duration period, Clock::time_point taken);

}  // namespace tarnvale::sampler
