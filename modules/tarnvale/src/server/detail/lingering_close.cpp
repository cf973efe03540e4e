#include "server/detail/lingering_close.hpp"

#include <algorithm>
#include <array>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/deferred.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/experimental/parallel_group.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "platform/fault.hpp"

namespace tarnvale::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using std::chrono::steady_clock;

namespace {

// Reads in a row before a lingering socket lets the other tasks run.
constexpr int kReadBurst = 16;

// Where the input of every lingering socket goes: there is one thread, and the bytes are
// thrown away.
std::array<unsigned char, 16 * 1024> discarded;

enum class Input { drained, more, ended };

// Reads what the socket holds without waiting: drained once it is empty, more when the burst
// is spent first, ended at the end of the client's side or a read error.
Input discard_input(tcp::socket& socket) {
  for (int read = 0; read < kReadBurst; ++read) {
    boost::system::error_code ec;
    socket.read_some(asio::buffer(discarded), ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again) return Input::drained;
    if (ec) return Input::ended;
  }
  return Input::more;
}

asio::awaitable<void> linger(tcp::socket socket, std::chrono::milliseconds idle, std::chrono::milliseconds total) {
  boost::system::error_code ec;
  socket.non_blocking(true, ec);
  if (!ec) socket.shutdown(tcp::socket::shutdown_send, ec);
  if (ec) co_return;
  const auto give_up = steady_clock::now() + total;
  asio::steady_timer bound(socket.get_executor());
  for (;;) {
    const Input input = discard_input(socket);
    const auto now = steady_clock::now();
    if (input == Input::ended || now >= give_up) co_return;
    if (input == Input::more) {
      co_await asio::post(socket.get_executor(), asio::use_awaitable);
      continue;
    }
    bound.expires_at(std::min(now + idle, give_up));
    // Whichever ends first cancels the other: the group completes once both have.
    auto [order, readable, expired] =
        co_await asio::experimental::make_parallel_group(socket.async_wait(tcp::socket::wait_read, asio::deferred),
                                                         bound.async_wait(asio::deferred))
            .async_wait(asio::experimental::wait_for_one(), asio::use_awaitable);
    if (order[0] == 1 || readable) co_return;
  }
}

}  // namespace

void close_lingering(tcp::socket socket, std::chrono::milliseconds idle, std::chrono::milliseconds total) {
  const auto executor = socket.get_executor();
  asio::co_spawn(executor, linger(std::move(socket), idle, total), platform::ReportFaults{"lingering close"});
}

}  // namespace tarnvale::server
