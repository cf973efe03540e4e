#include "platform/fault.hpp"

#include <string>

#include "platform/error_log.hpp"

namespace tarnvale::platform {

void report_fault(std::string_view task, std::exception_ptr fault) noexcept {
  std::string what = "unknown fault";
  try {
    std::rethrow_exception(fault);
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  write_error_line(LineKind::internal_fault, {"tarnvale: internal fault in ", task, ": ", what});
}

}  // namespace tarnvale::platform
