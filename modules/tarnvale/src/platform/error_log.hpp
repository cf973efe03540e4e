// Standard error while the service runs: no client and no slow reader of the log can make
// the one thread wait on it, or decide how much it writes.
//
// Each kind of line is written at once while there are few, up to kLinesPerSecond in a
// second; beyond that its lines are counted, and once the second is over one line says how
// many were left out. Lines wait in a small queue until standard error takes them; when the
// queue is full, lines are dropped and counted, and the count is written once the reader has
// caught up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>

#include <boost/asio/any_io_executor.hpp>

namespace tarnvale::platform {

enum class LineKind {
  connection_failure,  // "WebSocket connection from … failed: …", one per failed connection
  refresh_failure,     // "system metrics refresh failed: …"
  internal_fault,      // "tarnvale: internal fault in <task>: …"
  accepting,           // the pause and resume of accepting: not limited, as their writer
                       // writes at most one of each per pause
};

// Writes the pieces and "\n" as one line: through the open ErrorLog, or straight to
// standard error while none is open (before the service runs, at its end, in tests).
void write_error_line(LineKind kind, std::initializer_list<std::string_view> pieces) noexcept;

// Open for the life of the service, on its one thread; write_error_line goes through the
// latest one open.
class ErrorLog {
 public:
  static constexpr std::uint32_t kLinesPerSecond = 10;
  static constexpr std::size_t kQueueBytes = 16 * 1024;

  explicit ErrorLog(const boost::asio::any_io_executor& executor);
  ErrorLog(const ErrorLog&) = delete;
  ErrorLog& operator=(const ErrorLog&) = delete;
  // Writes what is still queued, and the counts of lines left out so far, waiting as long as
  // it takes: the process is ending, and its last line must come after them.
  ~ErrorLog();

  void write(LineKind kind, std::initializer_list<std::string_view> pieces);

 private:
  friend void write_error_line(LineKind, std::initializer_list<std::string_view>) noexcept;
  struct State;
  std::unique_ptr<State> state_;
  ErrorLog* previous_;
};

}  // namespace tarnvale::platform
