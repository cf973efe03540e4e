#include "server/listener.hpp"

#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "platform/console.hpp"
#include "platform/error_log.hpp"
#include "platform/fault.hpp"
#include "server/detail/accept_pause.hpp"
#include "server/detail/connection.hpp"
#include "server/detail/listen_socket.hpp"
#include "server/detail/memory_return.hpp"

namespace tarnvale::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

// Accepts taken in a row before the accept loop lets the other tasks run.
constexpr int kAcceptBurst = 32;
constexpr std::chrono::milliseconds kFirstPause{5};
constexpr std::chrono::milliseconds kLongestPause{1000};

// The budget for all connections' unfinished input, from the host's memory.
std::shared_ptr<websocket::InputBudget> input_budget() {
  struct sysinfo info {};
  const std::uint64_t host_memory = ::sysinfo(&info) == 0 ? std::uint64_t{info.totalram} * info.mem_unit : 0;
  return std::make_shared<websocket::InputBudget>(websocket::InputBudget::for_host_memory(host_memory));
}

asio::awaitable<void> connection_task(tcp::socket socket, std::string peer, tree::DataStore store,
                                      std::shared_ptr<websocket::InputBudget> budget,
                                      std::shared_ptr<MemoryReturn> memory) {
  auto result = co_await handle_connection(std::move(socket), std::move(store), std::move(budget));
  memory->connection_ended();
  if (result) co_return;
  platform::write_error_line(platform::LineKind::connection_failure,
                             {"WebSocket connection from ", peer, " failed: ", result.error().display()});
}

}  // namespace

asio::awaitable<Result<void, platform::IoError>> serve(std::string_view address, tree::DataStore store) {
  auto executor = co_await asio::this_coro::executor;
  auto addr = parse_address(address);
  if (!addr) co_return unexpected(addr.error());
  auto fd = open_listener(*addr);
  if (!fd) co_return unexpected(fd.error());

  tcp::acceptor listener(executor);
  boost::system::error_code ec;
  listener.assign(tcp::v4(), *fd, ec);
  if (ec) {
    ::close(*fd);
    co_return unexpected(platform::IoError::from_code(ec.value()));
  }

  const std::string line = "tarnvale listening on ws://" + std::string(address) + "\n";
  if (auto written = platform::write_stdout(line); !written) {
    throw std::runtime_error("failed printing to stdout: " + written.error().display());
  }

  const auto memory = std::make_shared<MemoryReturn>(executor);
  const auto budget = input_budget();
  asio::steady_timer pause(executor);
  std::chrono::milliseconds next_pause = kFirstPause;
  AcceptPause pause_lines(executor);
  int burst = 0;
  for (;;) {
    if (burst >= kAcceptBurst) {
      burst = 0;
      co_await asio::post(executor, asio::use_awaitable);
    }
    auto accepted = accept_connection(listener.native_handle());
    if (!accepted) {
      const int code = accepted.error();
      switch (classify_accept_error(code)) {
        case AcceptError::would_block:
          // The backlog is empty; the reactor reports the next connection.
          burst = 0;
          pause_lines.worked();
          co_await listener.async_wait(tcp::acceptor::wait_read, asio::as_tuple(asio::use_awaitable));
          continue;
        case AcceptError::per_connection:
          // Counts against the burst like an accepted connection, so a run of them yields too.
          ++burst;
          continue;
        case AcceptError::shortage:
          pause_lines.failed(code);
          pause.expires_after(next_pause);
          co_await pause.async_wait(asio::as_tuple(asio::use_awaitable));
          next_pause = std::min(next_pause * 2, kLongestPause);
          continue;
        case AcceptError::fatal:
          co_return unexpected(platform::IoError::from_code(code));
      }
    }
    pause_lines.worked();
    next_pause = kFirstPause;

    tcp::socket socket(executor);
    socket.assign(tcp::v4(), accepted->fd, ec);
    if (ec) {
      ::close(accepted->fd);
      co_return unexpected(platform::IoError::from_code(ec.value()));
    }
    asio::co_spawn(executor, connection_task(std::move(socket), peer_text(accepted->peer), store, budget, memory),
                   platform::ReportFaults{"connection"});
    ++burst;
  }
}

}  // namespace tarnvale::server
