#include "platform/error_log.hpp"

#include <array>
#include <cerrno>
#include <chrono>
#include <string>
#include <utility>

#include <boost/asio/error.hpp>
#include <boost/asio/steady_timer.hpp>

#include "platform/console.hpp"
#include "platform/detail/line_queue.hpp"
#include "platform/detail/line_rate.hpp"
#include "platform/detail/stderr_sink.hpp"

namespace tarnvale::platform {

namespace asio = boost::asio;

namespace {

// What the summary of each limited kind calls its lines, in the order of LineKind.
constexpr std::array<std::string_view, 3> kSummarySubjects = {
    "WebSocket connection failures",
    "system metrics refresh failures",
    "internal faults",
};

static_assert(static_cast<std::size_t>(LineKind::internal_fault) + 1 == kSummarySubjects.size());

ErrorLog* g_open = nullptr;

}  // namespace

struct ErrorLog::State {
  using Clock = LineRate::Clock;

  explicit State(const asio::any_io_executor& executor) : sink(executor), summary_timer(executor) {}

  // Writes what standard error takes now, and waits for room for the rest.
  void pump() {
    if (waiting) return;
    while (!queue.empty()) {
      auto written = sink.write_some(queue.front(StderrSink::kChunk));
      if (written) {
        queue.written(*written);
        continue;
      }
      if (written.error() == EINTR) continue;
      if (written.error() != EAGAIN) {
        queue.discard();
        return;
      }
      sink.wait_ready([this](const boost::system::error_code& ec) {
        if (ec == asio::error::operation_aborted) return;  // the log is gone
        waiting = false;
        if (ec) {
          queue.discard();
          return;
        }
        pump();
      });
      // Only once the wait is set: a wait that could not be set leaves the next line to try.
      waiting = true;
      return;
    }
  }

  // Queues the summary of `left_out` lines of `kind` left out in the last second.
  void summarize(std::size_t kind, std::uint64_t left_out) {
    queue.push({kSummarySubjects[kind], ": ", std::to_string(left_out), " more in the last second, not written"},
               left_out);
  }

  // Summarizes every second with lines left out that has ended by `now`, then sets the timer
  // for the next summary due.
  void summarize_ended(Clock::time_point now) {
    for (std::size_t kind = 0; kind < rates.size(); ++kind) {
      if (const std::uint64_t n = rates[kind].take_summary(now)) summarize(kind, n);
    }
    pump();
    summary_due = Clock::time_point::max();
    for (const LineRate& rate : rates) {
      if (const auto due = rate.summary_due()) schedule(*due);
    }
  }

  // Makes sure the timer goes off by `due`.
  void schedule(Clock::time_point due) {
    if (due >= summary_due) return;
    summary_timer.expires_at(due);
    summary_timer.async_wait([this](const boost::system::error_code& ec) {
      if (ec) return;  // superseded by an earlier due time, or the log is gone
      summarize_ended(Clock::now());
    });
    summary_due = due;
  }

  StderrSink sink;
  LineQueue queue{kQueueBytes};
  std::array<LineRate, kSummarySubjects.size()> rates{
      LineRate(kLinesPerSecond), LineRate(kLinesPerSecond), LineRate(kLinesPerSecond)};
  asio::steady_timer summary_timer;
  Clock::time_point summary_due = Clock::time_point::max();
  bool waiting = false;
};

ErrorLog::ErrorLog(const asio::any_io_executor& executor)
    : state_(std::make_unique<State>(executor)), previous_(std::exchange(g_open, this)) {}

ErrorLog::~ErrorLog() {
  State& s = *state_;
  for (std::size_t kind = 0; kind < s.rates.size(); ++kind) {
    if (const std::uint64_t n = s.rates[kind].take_all()) s.summarize(kind, n);
  }
  s.queue.report_dropped();
  while (!s.queue.empty()) {
    const std::string_view chunk = s.queue.front(StderrSink::kChunk);
    if (!s.sink.write_all(chunk)) {
      s.queue.discard();
      break;
    }
    s.queue.written(chunk.size());
  }
  g_open = previous_;
}

void ErrorLog::write(LineKind kind, std::initializer_list<std::string_view> pieces) {
  State& s = *state_;
  if (kind != LineKind::accepting) {
    const auto index = static_cast<std::size_t>(kind);
    LineRate& rate = s.rates[index];
    const auto now = State::Clock::now();
    // The summary of a second that has ended comes before the first line of the next.
    if (const std::uint64_t n = rate.take_summary(now)) s.summarize(index, n);
    if (!rate.admit(now)) {
      s.schedule(*rate.summary_due());
      s.pump();
      return;
    }
  }
  s.queue.push(pieces);
  s.pump();
}

void write_error_line(LineKind kind, std::initializer_list<std::string_view> pieces) noexcept {
  if (g_open != nullptr) {
    try {
      g_open->write(kind, pieces);
    } catch (...) {
      // Out of memory for the line or its wait: it is lost, and counted.
      g_open->state_->queue.count_lost(1);
    }
    return;
  }
  try {
    std::string line;
    for (const std::string_view piece : pieces) line.append(piece);
    line.push_back('\n');
    // Nothing is left to tell of a line that cannot be written.
    (void)write_stderr(line);
  } catch (...) {
  }
}

}  // namespace tarnvale::platform
