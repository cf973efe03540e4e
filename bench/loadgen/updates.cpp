#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "loadgen/client_pool.hpp"
#include "loadgen/clock.hpp"
#include "loadgen/process_stats.hpp"
#include "loadgen/scenarios.hpp"

namespace tarnvale::loadgen {

namespace asio = boost::asio;

namespace {

constexpr std::string_view kUpdateTopic = R"("topic":"DataUpdate-)";
constexpr std::string_view kBody = R"(,"body":)";

struct Arrival {
  std::int64_t at_ns;
  std::uint32_t client;
  bool whole_tree;  // the "system" update; otherwise "system.cpu.all"
  // The "system" body, which every client gets identical for one tick: it names the tick.
  std::uint64_t body_hash;
};

std::uint64_t fnv1a(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

class Subscribers final : public ClientBody {
 public:
  Subscribers(Progress& progress, std::size_t threads, std::size_t reserve) : progress_(progress), logs_(threads) {
    for (auto& log : logs_) log.reserve(reserve);
  }

  asio::awaitable<void> run(websocket::Stream stream, std::size_t index) override {
    for (const std::string_view path : {"system", "system.cpu.all"}) {
      if (!co_await stream.send_text(request_text(2 * index + (path.size() > 6), "SubscribeValue", path))) {
        progress_.mark_failed("sending a subscription failed");
        co_return;
      }
    }
    // Updates of the first subscription may come before the second reply.
    for (int replies = 0; replies < 2;) {
      auto event = co_await stream.next();
      if (!event) {
        progress_.mark_failed("before the replies: " + event.error().display());
        co_return;
      }
      const auto* text = std::get_if<websocket::Text>(&*event);
      if (text == nullptr) continue;
      if (text->payload.view().find(R"("type":"SubscribeValueResponse")") != std::string::npos) {
        ++replies;
      } else if (text->payload.view().find(kUpdateTopic) == std::string::npos) {
        progress_.mark_failed("unexpected reply: " + std::string(text->payload.view()));
        co_return;
      }
    }
    progress_.mark_ready();
    auto& log = logs_[index % logs_.size()];
    for (;;) {
      auto event = co_await stream.next();
      if (!event) {
        progress_.mark_failed("while receiving updates: " + event.error().display());
        co_return;
      }
      if (const auto* text = std::get_if<websocket::Text>(&*event)) record(log, index, text->payload);
    }
  }

  // Set while arrivals are kept.
  std::atomic<bool> measuring{false};
  // "system" updates received so far, measured or not.
  std::atomic<std::uint64_t> trees_seen{0};

  // Read only after the pool has stopped.
  std::vector<Arrival> arrivals() const {
    std::vector<Arrival> all;
    for (const auto& log : logs_) all.insert(all.end(), log.begin(), log.end());
    std::sort(all.begin(), all.end(), [](const Arrival& a, const Arrival& b) { return a.at_ns < b.at_ns; });
    return all;
  }

 private:
  void record(std::vector<Arrival>& log, std::size_t index, std::string_view payload) {
    const std::int64_t at = now_ns();
    const auto topic = payload.find(kUpdateTopic);
    if (topic == std::string_view::npos) return;
    const bool whole_tree = payload.substr(topic + kUpdateTopic.size()).starts_with("system\"");
    if (whole_tree) trees_seen.fetch_add(1, std::memory_order_relaxed);
    if (!measuring.load(std::memory_order_relaxed)) return;
    const auto body = payload.find(kBody);
    const std::uint64_t hash = whole_tree && body != std::string_view::npos ? fnv1a(payload.substr(body)) : 0;
    log.push_back(Arrival{at, static_cast<std::uint32_t>(index), whole_tree, hash});
  }

  Progress& progress_;
  std::vector<std::vector<Arrival>> logs_;  // one per thread
};

struct Tick {
  std::int64_t first_ns = 0;
  std::int64_t last_ns = 0;
  std::size_t messages = 0;
};

// Arrivals grouped by tick: a "system" update starts or joins the tick its body names, a
// "system.cpu.all" update belongs to the tick of its client's last "system" update.
std::vector<Tick> group_by_tick(const std::vector<Arrival>& arrivals, std::size_t clients) {
  std::vector<Tick> ticks;
  std::unordered_map<std::uint64_t, std::size_t> tick_of_body;
  std::vector<std::ptrdiff_t> client_tick(clients, -1);
  for (const auto& a : arrivals) {
    std::ptrdiff_t tick = client_tick[a.client];
    if (a.whole_tree) {
      auto [it, added] = tick_of_body.try_emplace(a.body_hash, ticks.size());
      if (added) ticks.push_back(Tick{a.at_ns, a.at_ns, 0});
      tick = static_cast<std::ptrdiff_t>(it->second);
      client_tick[a.client] = tick;
    }
    if (tick < 0) continue;
    auto& t = ticks[static_cast<std::size_t>(tick)];
    t.last_ns = std::max(t.last_ns, a.at_ns);
    ++t.messages;
  }
  return ticks;
}

// Nearest-rank percentile of sorted values.
double percentile(const std::vector<double>& sorted, double p) {
  const auto rank = static_cast<std::size_t>(std::max(1.0, std::ceil(p / 100.0 * static_cast<double>(sorted.size()))));
  return sorted[std::min(rank, sorted.size()) - 1];
}

}  // namespace

int run_updates(const Options& options) {
  const std::size_t n = options.connections;
  Progress progress;
  Subscribers body(progress, options.threads, 2 * n * (options.ticks + 2) / options.threads + 16);
  ClientPool pool(options.threads, {asio::ip::make_address(options.host), options.port}, progress);
  pool.open(n, body);
  if (!progress.wait_ready(n)) {
    progress.report_failures("updates");
    return 1;
  }

  // The window starts half a period after a tick's first update and lasts whole periods, so
  // it holds exactly `ticks` ticks and the service's CPU time of exactly those.
  const std::uint64_t seen = body.trees_seen.load();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (body.trees_seen.load() == seen) {
    if (std::chrono::steady_clock::now() > deadline) {
      std::fprintf(stderr, "updates: no update came for 5 s\n");
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto cpu_before = read_cpu_time(options.pid);
  body.measuring = true;
  std::this_thread::sleep_for(std::chrono::seconds(options.ticks));
  body.measuring = false;
  const auto cpu_after = read_cpu_time(options.pid);
  pool.stop();
  if (progress.report_failures("updates")) return 1;
  if (!cpu_before || !cpu_after) {
    std::fprintf(stderr, "updates: cannot read the CPU time of process %d\n", options.pid);
    return 1;
  }

  const auto ticks = group_by_tick(body.arrivals(), n);
  std::vector<double> spread_ms;
  for (const auto& t : ticks) {
    if (t.messages == 2 * n) spread_ms.push_back(static_cast<double>(t.last_ns - t.first_ns) / 1e6);
  }
  if (spread_ms.empty()) {
    std::fprintf(stderr, "updates: no tick was delivered completely (%zu seen)\n", ticks.size());
    return 1;
  }
  std::sort(spread_ms.begin(), spread_ms.end());
  const double periods = static_cast<double>(options.ticks);
  const CpuSpent cpu = cpu_spent(*cpu_before, *cpu_after);
  const double per_tick_ms = cpu.ns / 1e6 / periods;
  std::printf(
      "updates    %6zu connections  ticks %zu/%zu complete  tick->last update p50 %.1f ms  p99 %.1f ms  max %.1f ms"
      "  service CPU/tick %.2f ms (stat %.1f ms, %.0f%% kernel)  CPU/message %.2f us\n",
      n, spread_ms.size(), ticks.size(), percentile(spread_ms, 50), percentile(spread_ms, 99), spread_ms.back(),
      per_tick_ms, cpu.stat_ns / 1e6 / periods, 100 * cpu.kernel_share, per_tick_ms * 1e3 / static_cast<double>(2 * n));
  return 0;
}

}  // namespace tarnvale::loadgen
