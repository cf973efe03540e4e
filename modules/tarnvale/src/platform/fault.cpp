#include "platform/fault.hpp"

#include <string>

#include "platform/console.hpp"

namespace tarnvale::platform {

void report_fault(std::string_view task, std::exception_ptr fault) noexcept {
  std::string what = "unknown fault";
  try {
    std::rethrow_exception(fault);
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  std::string line = "tarnvale: internal fault in ";
  line.append(task);
  line.append(": ");
  line.append(what);
  line.push_back('\n');
  (void)write_stderr(line);
}

}  // namespace tarnvale::platform
