#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <thread>

#include "loadgen/client_pool.hpp"
#include "loadgen/process_stats.hpp"
#include "loadgen/scenarios.hpp"

namespace tarnvale::loadgen {

namespace asio = boost::asio;

namespace {

// Long enough for a few ticks to pass over the idle connections.
constexpr auto kSettle = std::chrono::seconds(3);
// How long the service's memory is watched once the clients have closed, and how often.
constexpr auto kReturnWatch = std::chrono::seconds(5);
constexpr auto kReturnStep = std::chrono::milliseconds(50);
// How near to its idle size the service's memory is to come back.
constexpr std::int64_t kReturnSlack = 1 << 20;

// Connects, then only reads (an idle client receives nothing).
class Sleepers final : public ClientBody {
 public:
  explicit Sleepers(Progress& progress) : progress_(progress) {}

  asio::awaitable<void> run(websocket::Stream stream, std::size_t) override {
    progress_.mark_ready();
    for (;;) {
      auto event = co_await stream.next();
      if (!event) co_return progress_.mark_failed(event.error().display());
    }
  }

 private:
  Progress& progress_;
};

}  // namespace

int run_idle(const Options& options) {
  const std::size_t n = options.connections;
  const auto idle = read_rss(options.pid);
  if (!idle) {
    std::fprintf(stderr, "idle: cannot read the RSS of process %d\n", options.pid);
    return 1;
  }
  Progress progress;
  Sleepers body(progress);
  ClientPool pool(options.threads, {asio::ip::make_address(options.host), options.port}, progress);
  pool.open(n, body);
  if (!progress.wait_ready(n)) {
    progress.report_failures("idle");
    return 1;
  }
  std::this_thread::sleep_for(kSettle);
  const auto loaded = read_rss(options.pid);
  pool.stop();
  if (progress.report_failures("idle")) return 1;
  if (!loaded) {
    std::fprintf(stderr, "idle: cannot read the RSS of process %d\n", options.pid);
    return 1;
  }
  // The clients go away all at once; the service's memory should follow them.
  pool.close();
  const auto closed = std::chrono::steady_clock::now();
  std::optional<double> back_after;
  std::int64_t last = *loaded;
  std::int64_t at_3s = *loaded;
  for (auto at = closed; at - closed < kReturnWatch; at += kReturnStep) {
    std::this_thread::sleep_until(at + kReturnStep);
    const auto rss = read_rss(options.pid);
    if (!rss) break;
    last = *rss;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - closed).count();
    if (seconds <= 3.0) at_3s = last;
    if (!back_after && last <= *idle + kReturnSlack) back_after = seconds;
  }
  char back[32] = "never";
  if (back_after) std::snprintf(back, sizeof back, "after %.2f s", *back_after);
  std::printf("idle RSS   %6zu connections  idle %.2f MiB  with connections %.2f MiB  per connection %.2f KiB"
              "  closed: %.2f MiB after 3 s, %.2f MiB after 5 s, within 1 MiB of idle %s\n",
              n, static_cast<double>(*idle) / 1048576.0, static_cast<double>(*loaded) / 1048576.0,
              static_cast<double>(*loaded - *idle) / 1024.0 / static_cast<double>(n),
              static_cast<double>(at_3s) / 1048576.0, static_cast<double>(last) / 1048576.0, back);
  return 0;
}

}  // namespace tarnvale::loadgen
