// Feeds arbitrary bytes, in reads of a size the input chooses, to the server side of the
// opening handshake, checking that each input ends in a 101 response, an error or a wait for
// more, that a response is a well-formed 101, and that the outcome does not depend on how
// the bytes were split into reads.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "websocket/core/server_handshake.hpp"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

struct Outcome {
  std::string text;        // the response, the error's display text, or "" while more is due
  std::size_t taken = 0;   // bytes read when it came
};

Outcome serve(std::string_view bytes, std::size_t read_size) {
  using namespace tarnvale::websocket;
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
      return {r.error().display(), at};
    }
    if (*r) {
      const std::string_view response = **r;
      check(response.starts_with("HTTP/1.1 101 Switching Protocols\r\n"));
      check(response.ends_with("\r\n\r\n"));
      return {std::string(response), at};
    }
  }
  return {"", bytes.size()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // First two bytes: the size of each read, 1 to 4096.
  const std::size_t read_size = ((std::size_t{data[0]} << 8 | data[1]) % 4096) + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  const Outcome split = serve(bytes, read_size);
  // The bytes taken, in one read, give the same outcome, unless the limits on reads refused
  // the smaller reads.
  constexpr std::string_view kAttack = "Attack attempt detected";
  if (split.taken > 4096 || split.text == kAttack) return 0;
  check(serve(bytes.substr(0, split.taken), 4096).text == split.text);
  // So do all the bytes in one read, unless bytes behind a complete request come with it.
  if (bytes.size() <= 4096) {
    const Outcome whole = serve(bytes, 4096);
    check(whole.text == split.text || whole.text == "WebSocket protocol error: Junk after client request");
  }
  return 0;
}
