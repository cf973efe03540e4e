#include "server/detail/send_text.hpp"

namespace tarnvale::server {

boost::asio::awaitable<Result<void, websocket::Error>> send_text(websocket::Stream& stream, std::string text) {
  return stream.send_text(std::move(text));
}

boost::asio::awaitable<Result<void, websocket::Error>> send_text(websocket::Stream& stream,
                                                                 std::span<const websocket::TextParts> texts) {
  return stream.send_texts(texts);
}

}  // namespace tarnvale::server
