// Feeds arbitrary bytes, in reads of a size the input chooses, to the server side of the
// opening handshake, checking that each input ends in a 101 response, an error or a wait for
// more, and that a response is a well-formed 101.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "websocket/core/server_handshake.hpp"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarnvale::websocket;
  if (size < 2) return 0;
  // First two bytes: the size of each read, 1 to 4096.
  const std::size_t read_size = ((std::size_t{data[0]} << 8 | data[1]) % 4096) + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  ServerHandshake handshake;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t n = std::min(read_size, bytes.size() - at);
    auto space = handshake.read_space();
    check(space.size() >= n && space.size() <= 4096);
    std::memcpy(space.data(), bytes.data() + at, n);
    at += n;
    auto r = handshake.commit(n);
    if (!r) {
      check(!r.error().display().empty());
      return 0;
    }
    if (*r) {
      const std::string_view response = **r;
      check(response.starts_with("HTTP/1.1 101 Switching Protocols\r\n"));
      check(response.ends_with("\r\n\r\n"));
      return 0;
    }
  }
  return 0;
}
