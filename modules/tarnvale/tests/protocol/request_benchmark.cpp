#include <benchmark/benchmark.h>

#include "protocol/request.hpp"

namespace tarnvale::protocol {
namespace {

void BM_DecodeGetValue(benchmark::State& state) {
  const std::string_view text =
      R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValue","body":{"path":"system.memory.usage_percent"}})";
  for (auto _ : state) {
    auto request = decode_request(text);
    benchmark::DoNotOptimize(request);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DecodeGetValue);

}  // namespace
}  // namespace tarnvale::protocol
