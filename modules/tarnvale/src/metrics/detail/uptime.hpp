// The time since boot, in whole seconds, from /proc/uptime or the sysinfo system call.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnvale::metrics {

// The text before the first "." as a decimal number: the fraction is dropped, not rounded.
std::optional<std::uint64_t> parse_uptime(std::string_view text);

}  // namespace tarnvale::metrics
