#include "loadgen/client_pool.hpp"

#include <chrono>
#include <cstdio>
#include <optional>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace tarnvale::loadgen {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

// Handshakes in flight per thread: enough to open 10,000 clients in a few seconds without
// overflowing the service's listen backlog.
constexpr std::size_t kOpenWindow = 32;
constexpr int kConnectAttempts = 20;

void rethrow(std::exception_ptr e) {
  if (e) std::rethrow_exception(e);
}

}  // namespace

void Progress::mark_failed(std::string why) {
  const std::lock_guard lock(failure_lock_);
  if (failure_.empty()) failure_ = std::move(why);
  failed_.fetch_add(1);
}

bool Progress::wait_ready(std::size_t wanted) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (ready_.load(std::memory_order_relaxed) < wanted) {
    if (failed_.load() != 0) return false;
    if (std::chrono::steady_clock::now() > deadline) {
      mark_failed("only " + std::to_string(ready_.load()) + " clients were ready after two minutes");
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return failed_.load() == 0;
}

bool Progress::report_failures(const char* scenario) const {
  const std::lock_guard lock(failure_lock_);
  if (failed_.load() == 0) return false;
  std::fprintf(stderr, "%s: %zu clients failed: %s\n", scenario, failed_.load(), failure_.c_str());
  return true;
}

ClientPool::ClientPool(std::size_t threads, tcp::endpoint service, Progress& progress)
    : service_(service), progress_(progress) {
  for (std::size_t i = 0; i < threads; ++i) contexts_.push_back(std::make_unique<asio::io_context>(1));
  for (auto& context : contexts_) {
    runners_.emplace_back([io = context.get()] {
      auto guard = asio::make_work_guard(*io);
      io->run();
    });
  }
}

void ClientPool::stop() {
  for (auto& context : contexts_) context->stop();
  for (auto& runner : runners_) {
    if (runner.joinable()) runner.join();
  }
}

void ClientPool::close() {
  stop();
  // A context takes the clients it runs with it.
  contexts_.clear();
  runners_.clear();
}

void ClientPool::open(std::size_t count, ClientBody& body) {
  const std::size_t threads = contexts_.size();
  for (std::size_t t = 0; t < threads; ++t) {
    // Thread t serves the clients t, t + threads, ...; its chains take turns among them.
    for (std::size_t chain = 0; chain < kOpenWindow; ++chain) {
      const std::size_t first = t + chain * threads;
      if (first >= count) break;
      asio::co_spawn(*contexts_[t], open_chain(first, threads * kOpenWindow, count, &body), rethrow);
    }
  }
}

asio::awaitable<void> ClientPool::open_chain(std::size_t first, std::size_t step, std::size_t count,
                                             ClientBody* body) {
  auto executor = co_await asio::this_coro::executor;
  for (std::size_t index = first; index < count; index += step) {
    std::optional<websocket::Stream> stream;
    std::string why;
    for (int attempt = 0; attempt < kConnectAttempts && !stream; ++attempt) {
      tcp::socket socket(executor);
      auto [ec] = co_await socket.async_connect(service_, asio::as_tuple(asio::use_awaitable));
      if (ec) {
        why = "connect: " + ec.message();
        asio::steady_timer pause(executor, std::chrono::milliseconds(50));
        co_await pause.async_wait(asio::as_tuple(asio::use_awaitable));
        continue;
      }
      auto opened = co_await websocket::Stream::connect(std::move(socket), "/");
      if (!opened) {
        why = "handshake: " + opened.error().display();
        continue;
      }
      stream.emplace(std::move(*opened));
    }
    if (!stream) {
      progress_.mark_failed(why);
      continue;
    }
    asio::co_spawn(executor, body->run(std::move(*stream), index), rethrow);
  }
}

std::string request_text(std::size_t n, std::string_view type, std::string_view path) {
  char uuid[40];
  std::snprintf(uuid, sizeof uuid, "00000000-0000-4000-8000-%012zx", n);
  std::string text;
  text.reserve(96 + path.size());
  text.append(R"({"uuid":")").append(uuid).append(R"(","type":")").append(type);
  text.append(R"(","body":{"path":")").append(path).append(R"("}})");
  return text;
}

}  // namespace tarnvale::loadgen
