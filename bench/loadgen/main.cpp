// The load generator: drives a running service with many WebSocket clients and prints what
// one scenario measured.
#include <cstdio>

#include "loadgen/options.hpp"
#include "loadgen/scenarios.hpp"

int main(int argc, char** argv) {
  using namespace tarnvale::loadgen;
  const auto options = parse_options(argc, argv);
  if (!options) {
    std::fputs(options.error().c_str(), stderr);
    return 2;
  }
  switch (options->scenario) {
    case Scenario::updates: return run_updates(*options);
    case Scenario::get_value: return run_get_value(*options);
    case Scenario::idle: return run_idle(*options);
  }
  return 2;
}
