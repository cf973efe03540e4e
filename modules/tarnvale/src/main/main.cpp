// Process entry: prepares the standard descriptors and SIGPIPE, then runs the main task.
#include "main/main_task.hpp"
#include "main/runtime.hpp"

int main() {
  tarnvale::main::prepare_process();
  return tarnvale::main::run_main(tarnvale::main::main_task);
}
