#include "sampler/detail/tick_schedule.hpp"

namespace tarnvale::sampler {

Clock::time_point next_deadline(Clock::time_point deadline, Clock::duration period, Clock::time_point taken) {
  if (taken < deadline) return deadline + period;
  return deadline + period * ((taken - deadline) / period + 1);
}

}  // namespace tarnvale::sampler
