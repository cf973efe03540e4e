#include "main/main_task.hpp"

#include <chrono>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "tree/data_store.hpp"

namespace tarnvale::main {

namespace asio = boost::asio;

asio::awaitable<MainResult> main_task() {
  auto executor = co_await asio::this_coro::executor;
  auto store = tree::DataStore::create(executor);

  asio::steady_timer wait(executor);
  wait.expires_after(std::chrono::seconds(1));
  co_await wait.async_wait(asio::as_tuple(asio::use_awaitable));

  // Runs until the process is killed.
  wait.expires_at(asio::steady_timer::time_point::max());
  co_await wait.async_wait(asio::as_tuple(asio::use_awaitable));
  co_return MainResult{};
}

}  // namespace tarnvale::main
