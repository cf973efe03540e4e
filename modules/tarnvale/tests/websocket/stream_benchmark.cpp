// Sending 2 KiB text messages through a stream to a loopback peer that drains its socket:
// one gather write of header and payload per message, the payload never copied.
#include "websocket/stream.hpp"

#include <optional>
#include <string>
#include <thread>

#include <unistd.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <benchmark/benchmark.h>

namespace tarnvale::websocket {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

asio::awaitable<void> open_server(tcp::socket socket, std::optional<Stream>* out) {
  auto stream = co_await Stream::accept(std::move(socket));
  if (stream) out->emplace(std::move(*stream));
}

asio::awaitable<void> send_all(Stream* stream, std::string text, std::int64_t count, bool* ok) {
  for (std::int64_t i = 0; i < count; ++i) {
    if (!co_await stream->send_text(text)) co_return;
  }
  *ok = true;
}

void BM_SendText2KiB(benchmark::State& state) {
  asio::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  tcp::socket client(io), accepted(io);
  client.connect(acceptor.local_endpoint());
  acceptor.accept(accepted);
  const std::string request =
      "GET / HTTP/1.1\r\nConnection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
  asio::write(client, asio::buffer(request));
  std::optional<Stream> server;
  asio::co_spawn(io, open_server(std::move(accepted), &server), [](std::exception_ptr) {});
  io.run();
  if (!server) {
    state.SkipWithError("handshake failed");
    return;
  }
  // The peer reads everything on its own thread.
  std::thread drain([fd = client.native_handle()] {
    char buf[1 << 16];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
  });

  const std::string text(2048, 'j');
  constexpr std::int64_t kBatch = 1000;
  for (auto _ : state) {
    bool ok = false;
    asio::co_spawn(io, send_all(&*server, text, kBatch, &ok), [](std::exception_ptr) {});
    io.restart();
    io.run();
    if (!ok) state.SkipWithError("send failed");
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.SetBytesProcessed(state.iterations() * kBatch * static_cast<std::int64_t>(text.size()));
  server->socket().close();
  client.shutdown(tcp::socket::shutdown_both);
  drain.join();
}
BENCHMARK(BM_SendText2KiB)->UseRealTime();

}  // namespace
}  // namespace tarnvale::websocket
