// The kernel's random source: getrandom without flags, or, where the kernel lacks or
// refuses it, /dev/urandom once /dev/random has become readable.
#pragma once

#include <cstddef>

namespace tarnvale::protocol {

// Fills all `size` bytes at `out`. Whether getrandom works is probed once per process, at
// the first call. Any failure other than an interrupted call throws (an internal fault).
void fill_random(unsigned char* out, std::size_t size);

}  // namespace tarnvale::protocol
