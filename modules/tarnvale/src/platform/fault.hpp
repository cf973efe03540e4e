// Internal faults: an exception that escapes a task is a fault of that task alone.
#pragma once

#include <exception>
#include <string_view>

namespace tarnvale::platform {

// Writes the fault report "tarnvale: internal fault in <task>: <what>" to standard error, as
// a line of kind internal_fault.
void report_fault(std::string_view task, std::exception_ptr fault) noexcept;

// Completion handler for co_spawn of a task without result: reports a fault, if any,
// and ends only that task.
struct ReportFaults {
  std::string_view task;
  void operator()(std::exception_ptr fault) const noexcept {
    if (fault) report_fault(task, fault);
  }
};

}  // namespace tarnvale::platform
