#include "server/detail/send_text.hpp"

namespace tarnvale::server {

boost::asio::awaitable<Result<void, websocket::Error>> send_text(websocket::Stream& stream, std::string text) {
  co_return co_await stream.send_text(std::move(text));
}

}  // namespace tarnvale::server
