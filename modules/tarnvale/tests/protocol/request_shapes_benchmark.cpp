// Time and peak heap of decoding one large request of each shape that a hostile client
// could send, at 1 MiB and at the 64 MiB message limit. The peak counts the bytes that
// operator new holds at once while one text is decoded, beyond the text itself.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>

#include "protocol/request.hpp"

namespace {

struct HeapCount {
  bool on = false;
  std::size_t live = 0;
  std::size_t peak = 0;
};
HeapCount heap;

}  // namespace

void* operator new(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  if (heap.on) {
    heap.live += malloc_usable_size(p);
    if (heap.live > heap.peak) heap.peak = heap.live;
  }
  return p;
}
void operator delete(void* p) noexcept {
  if (p != nullptr && heap.on) heap.live -= std::min(heap.live, malloc_usable_size(p));
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace tarnvale::protocol {
namespace {

constexpr std::string_view kGetValueHead =
    R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValue","body":{"path":"system"},"x":[)";

// head, then item repeated with separators, then tail, padded with spaces to `size` bytes.
std::string repeated(std::size_t size, std::string_view head, std::string_view item, std::string_view tail) {
  std::string text(head);
  while (text.size() + item.size() + 1 + tail.size() <= size) {
    if (text.size() > head.size()) text.push_back(',');
    text.append(item);
  }
  text.append(tail);
  text.resize(size, ' ');
  return text;
}

std::string shape(int kind, std::size_t size) {
  switch (kind) {
    case 0: return repeated(size, "[", "0", "]");
    case 1: return repeated(size, "[", "[]", "]");
    case 2: return repeated(size, "[", "{}", "]");
    case 3: return repeated(size, "[", R"("a")", "]");
    case 4: return repeated(size, kGetValueHead, "0", "]}");
    case 5: return repeated(size, "{", R"("a":0)", "}");
    default: return repeated(size, "[", std::string(126, '[') + std::string(126, ']'), "]");
  }
}

constexpr const char* kShapeNames[] = {
    "zeros", "empty_arrays", "empty_objects", "strings", "get_value_extra_member", "repeated_key", "nested_127_deep",
};

void BM_DecodeRequestShape(benchmark::State& state) {
  const auto kind = static_cast<int>(state.range(0));
  const auto size = static_cast<std::size_t>(state.range(1)) << 20;
  const std::string text = shape(kind, size);
  state.SetLabel(kShapeNames[kind]);
  heap = HeapCount{.on = true};
  for (auto _ : state) {
    auto request = decode_request(text);
    benchmark::DoNotOptimize(request);
  }
  heap.on = false;
  state.counters["peak_heap_bytes"] = static_cast<double>(heap.peak);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DecodeRequestShape)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 6, 1), {1, 64}})
    ->ArgNames({"shape", "MiB"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarnvale::protocol
