// Decoding masked client text frames: bytes in, Text events out, with unmasking and UTF-8
// validation. Also the header the writer makes for one outgoing text message.
#include "websocket/core/connection.hpp"

#include <string>

#include <benchmark/benchmark.h>

#include "websocket/frames.hpp"

namespace tarnvale::websocket {
namespace {

using namespace testing;

std::string json_like(std::size_t size) {
  const std::string unit = R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValue","body":{"path":"system.cpu.all"}})";
  std::string s;
  while (s.size() < size) s += unit;
  s.resize(size);
  return s;
}

void BM_ParseMaskedTextFrames(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::string one = frame(kFin | kText, json_like(size));
  std::string wire;
  while (wire.size() < 1024 * 1024) wire += one;
  std::size_t messages = 0;
  for (auto _ : state) {
    Connection c(Role::server);
    for (std::size_t at = 0; at < wire.size(); at += Connection::kReadChunk) {
      c.feed(std::string_view(wire).substr(at, Connection::kReadChunk));
      while (auto event = c.next_event()) {
        if (!*event) break;
        benchmark::DoNotOptimize(**event);
        ++messages;
      }
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wire.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(messages));
}
BENCHMARK(BM_ParseMaskedTextFrames)->Arg(128)->Arg(2048)->Arg(64 * 1024);

void BM_FrameTextMessage2KiB(benchmark::State& state) {
  Connection c(Role::server);
  std::string payload = json_like(2048);
  for (auto _ : state) {
    auto header = c.frame_message(Opcode::text, payload);
    benchmark::DoNotOptimize(header);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}
BENCHMARK(BM_FrameTextMessage2KiB);

}  // namespace
}  // namespace tarnvale::websocket
