#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "loadgen/client_pool.hpp"
#include "loadgen/clock.hpp"
#include "loadgen/process_stats.hpp"
#include "loadgen/scenarios.hpp"

namespace tarnvale::loadgen {

namespace asio = boost::asio;

namespace {

constexpr auto kWarmUp = std::chrono::milliseconds(500);

// Keeps `depth` requests in flight on every client and counts the replies.
class Askers final : public ClientBody {
 public:
  Askers(Progress& progress, std::size_t threads, std::size_t depth, std::string path)
      : progress_(progress), replies_(threads), depth_(depth), path_(std::move(path)) {}

  asio::awaitable<void> run(websocket::Stream stream, std::size_t index) override {
    // Masking changes the text in place, so every send takes its own copy.
    const std::string request = request_text(index, "GetValue", path_);
    progress_.mark_ready();
    auto& replies = replies_[index % replies_.size()].count;
    for (std::size_t i = 0; i < depth_; ++i) {
      if (!co_await stream.send_text(request)) co_return progress_.mark_failed("send failed");
    }
    for (;;) {
      auto event = co_await stream.next();
      if (!event) co_return progress_.mark_failed(event.error().display());
      const auto* text = std::get_if<websocket::Text>(&*event);
      if (text == nullptr) continue;
      if (text->payload.view().find(R"("type":"GetValueResponse")") == std::string::npos) {
        co_return progress_.mark_failed("unexpected reply: " + std::string(text->payload.view()));
      }
      replies.fetch_add(1, std::memory_order_relaxed);
      if (!co_await stream.send_text(request)) co_return progress_.mark_failed("send failed");
    }
  }

  std::uint64_t replies() const {
    std::uint64_t total = 0;
    for (const auto& r : replies_) total += r.count.load(std::memory_order_relaxed);
    return total;
  }

 private:
  struct alignas(64) Counter {
    std::atomic<std::uint64_t> count{0};
  };
  Progress& progress_;
  std::vector<Counter> replies_;  // one per thread
  std::size_t depth_;
  std::string path_;
};

}  // namespace

int run_get_value(const Options& options) {
  const std::size_t n = options.connections;
  const std::size_t threads = std::min(options.threads, n);
  Progress progress;
  Askers body(progress, threads, options.depth, options.path);
  ClientPool pool(threads, {asio::ip::make_address(options.host), options.port}, progress);
  pool.open(n, body);
  if (!progress.wait_ready(n)) {
    progress.report_failures("get-value");
    return 1;
  }
  std::this_thread::sleep_for(kWarmUp);
  const auto cpu_before = read_cpu_time(options.pid);
  const std::uint64_t replies_before = body.replies();
  const std::int64_t start = now_ns();
  std::this_thread::sleep_for(std::chrono::duration<double>(options.seconds));
  const std::uint64_t replies_after = body.replies();
  const std::int64_t end = now_ns();
  const auto cpu_after = read_cpu_time(options.pid);
  pool.stop();
  if (progress.report_failures("get-value")) return 1;
  if (!cpu_before || !cpu_after) {
    std::fprintf(stderr, "get-value: cannot read the CPU time of process %d\n", options.pid);
    return 1;
  }
  const double replies = static_cast<double>(replies_after - replies_before);
  const double elapsed_s = static_cast<double>(end - start) / 1e9;
  const CpuSpent cpu = cpu_spent(*cpu_before, *cpu_after);
  std::printf("get-value  %6zu connections  depth %zu  %s  %.0f replies/s  service CPU/reply %.2f us (%.0f%% kernel)"
              "  busy %.0f%%\n",
              n, options.depth, options.path.c_str(), replies / elapsed_s, cpu.ns / 1e3 / replies, 100 * cpu.kernel_share,
              cpu.ns / 1e7 / elapsed_s);
  return 0;
}

}  // namespace tarnvale::loadgen
