#include "loadgen/options.hpp"

#include <charconv>
#include <string_view>

namespace tarnvale::loadgen {

namespace {

constexpr std::string_view kUsage =
    "usage: tarnvale_loadgen updates|get-value|idle --pid PID [--host A] [--port P]\n"
    "         [--connections N] [--threads K] [--ticks T] [--seconds S] [--depth D] [--path P]\n";

template <class T>
bool parse_number(std::string_view text, T& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

Result<Options, std::string> parse_options(int argc, char** argv) {
  Options options;
  if (argc < 2) return unexpected(std::string(kUsage));
  const std::string_view scenario = argv[1];
  if (scenario == "updates") {
    options.scenario = Scenario::updates;
  } else if (scenario == "get-value") {
    options.scenario = Scenario::get_value;
  } else if (scenario == "idle") {
    options.scenario = Scenario::idle;
  } else {
    return unexpected("unknown scenario '" + std::string(scenario) + "'\n" + std::string(kUsage));
  }
  for (int i = 2; i < argc; i += 2) {
    const std::string_view key = argv[i];
    if (i + 1 >= argc) return unexpected("missing value for " + std::string(key) + "\n" + std::string(kUsage));
    const std::string_view value = argv[i + 1];
    bool ok = true;
    if (key == "--pid") {
      ok = parse_number(value, options.pid);
    } else if (key == "--host") {
      options.host = value;
    } else if (key == "--port") {
      ok = parse_number(value, options.port);
    } else if (key == "--connections") {
      ok = parse_number(value, options.connections) && options.connections > 0;
    } else if (key == "--threads") {
      ok = parse_number(value, options.threads) && options.threads > 0;
    } else if (key == "--ticks") {
      ok = parse_number(value, options.ticks) && options.ticks > 0;
    } else if (key == "--seconds") {
      ok = parse_number(value, options.seconds) && options.seconds > 0;
    } else if (key == "--depth") {
      ok = parse_number(value, options.depth) && options.depth > 0;
    } else if (key == "--path") {
      options.path = value;
    } else {
      ok = false;
    }
    if (!ok) return unexpected("bad option " + std::string(key) + " " + std::string(value) + "\n" + std::string(kUsage));
  }
  if (options.pid <= 0) return unexpected("--pid is required\n" + std::string(kUsage));
  return options;
}

}  // namespace tarnvale::loadgen
