// The load generator's command line: one scenario and its settings.
#pragma once

#include <cstddef>
#include <string>

#include "platform/result.hpp"

namespace tarnvale::loadgen {

enum class Scenario { updates, get_value, idle };

struct Options {
  Scenario scenario = Scenario::updates;
  int pid = 0;                       // the service, for its CPU time and RSS
  std::string host = "127.0.0.1";
  unsigned short port = 8083;
  std::size_t connections = 1000;
  std::size_t threads = 3;
  std::size_t ticks = 12;            // updates: ticks measured
  double seconds = 3.0;              // get-value: measuring time
  std::size_t depth = 1;             // get-value: requests in flight per connection
  std::string path = "system.cpu.all";  // get-value: the leaf asked for
};

// Usage text on failure.
Result<Options, std::string> parse_options(int argc, char** argv);

}  // namespace tarnvale::loadgen
