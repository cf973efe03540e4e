// Many WebSocket clients spread over a few threads, one io_context each. A scenario says what
// each client does once it is connected; the pool opens the connections, a bounded number of
// handshakes at a time per thread, and the clients report their progress.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "websocket/stream.hpp"

namespace tarnvale::loadgen {

// How many clients are ready and how many failed, shared by all threads.
class Progress {
 public:
  // A client's own set-up (requests, replies) is done.
  void mark_ready() { ready_.fetch_add(1, std::memory_order_relaxed); }
  // A client hit an error; the text of the first one is kept.
  void mark_failed(std::string why);
  // Blocks until `wanted` clients are ready, or one failed, or two minutes have passed;
  // true on success.
  bool wait_ready(std::size_t wanted);
  // Writes "<scenario>: N clients failed: <first failure>" to standard error when any did;
  // true then.
  bool report_failures(const char* scenario) const;

 private:
  std::atomic<std::size_t> ready_{0};
  std::atomic<std::size_t> failed_{0};
  mutable std::mutex failure_lock_;
  std::string failure_;
};

// What one client does after its opening handshake. Runs on thread `index % threads`.
class ClientBody {
 public:
  virtual ~ClientBody() = default;
  virtual boost::asio::awaitable<void> run(websocket::Stream stream, std::size_t index) = 0;
};

// Declare it after the body and the progress it uses, so that it is destroyed first.
class ClientPool {
 public:
  ClientPool(std::size_t threads, boost::asio::ip::tcp::endpoint service, Progress& progress);
  ClientPool(const ClientPool&) = delete;
  ClientPool& operator=(const ClientPool&) = delete;
  ~ClientPool() { stop(); }

  // Opens `count` clients and starts `body` on each.
  void open(std::size_t count, ClientBody& body);
  // Stops and joins every thread; what the clients wrote can be read afterwards.
  void stop();
  // Stops, then closes every client's socket.
  void close();
  std::size_t threads() const { return contexts_.size(); }

 private:
  boost::asio::awaitable<void> open_chain(std::size_t first, std::size_t step, std::size_t count, ClientBody* body);

  boost::asio::ip::tcp::endpoint service_;
  Progress& progress_;
  std::vector<std::unique_ptr<boost::asio::io_context>> contexts_;
  std::vector<std::thread> runners_;
};

// A request text; `n` makes its uuid distinct.
std::string request_text(std::size_t n, std::string_view type, std::string_view path);

}  // namespace tarnvale::loadgen
