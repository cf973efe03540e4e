#include <chrono>
#include <cstdio>
#include <thread>

#include "loadgen/client_pool.hpp"
#include "loadgen/process_stats.hpp"
#include "loadgen/scenarios.hpp"

namespace tarnvale::loadgen {

namespace asio = boost::asio;

namespace {

// Long enough for a few ticks to pass over the idle connections.
constexpr auto kSettle = std::chrono::seconds(3);

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
  std::printf("idle RSS   %6zu connections  idle %.2f MiB  with connections %.2f MiB  per connection %.2f KiB\n", n,
              static_cast<double>(*idle) / 1048576.0, static_cast<double>(*loaded) / 1048576.0,
              static_cast<double>(*loaded - *idle) / 1024.0 / static_cast<double>(n));
  return 0;
}

}  // namespace tarnvale::loadgen
