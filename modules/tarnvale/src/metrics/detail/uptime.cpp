#include "metrics/detail/uptime.hpp"

#include <sys/sysinfo.h>

#include "metrics/detail/decimal.hpp"
#include "metrics/host_calls.hpp"

namespace tarnvale::metrics {

std::optional<std::uint64_t> parse_uptime(std::string_view text) {
  return parse_decimal(text.substr(0, text.find('.')));
}

std::optional<std::uint64_t> sysinfo_uptime() {
  struct sysinfo info {};
  if (::sysinfo(&info) != 0) return std::nullopt;
  return info.uptime < 0 ? 0 : static_cast<std::uint64_t>(info.uptime);
}

}  // namespace tarnvale::metrics
