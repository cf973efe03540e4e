// Feeds arbitrary bytes, in pieces of a size the input chooses, to the protocol core in either
// role, checking that every input ends in events and an error or a need for more input, and
// that what comes out keeps the protocol's promises.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <variant>

#include "platform/utf8.hpp"
#include "websocket/core/connection.hpp"

namespace {

using namespace tarnvale::websocket;

void check(bool condition) {
  if (!condition) std::abort();
}

// Takes events until the connection wants input or fails; false once it has ended.
bool drain(Connection& c) {
  for (int guard = 0;; ++guard) {
    check(guard < 1 << 20);
    auto r = c.next_event();
    if (!r) {
      check(c.state() == ConnectionState::failed || c.state() == ConnectionState::terminated);
      check(!c.next_event());
      return false;
    }
    if (!*r) {
      check(c.needs_input());
      return true;
    }
    const Event& e = **r;
    if (const auto* text = std::get_if<Text>(&e)) check(tarnvale::platform::is_valid_utf8(text->payload));
    if (const auto* binary = std::get_if<Binary>(&e)) check(binary->payload.size() <= kMaxMessageSize);
    if (const auto* ping = std::get_if<Ping>(&e)) check(ping->payload.size() <= kMaxControlPayload);
    if (const auto* pong = std::get_if<Pong>(&e)) check(pong->payload.size() <= kMaxControlPayload);
    if (const auto* close = std::get_if<Close>(&e)) check(close->reason.size() <= kMaxControlPayload - 2);
    if (std::holds_alternative<End>(e)) return false;
    for (auto frame : c.queued_control()) check(frame.size() <= kMaxControlPayload + kMaxFrameHeaderSize);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // First byte: the role in its top bit, the piece size in the rest (0: everything at once).
  const Role role = (data[0] & 0x80) ? Role::client : Role::server;
  const std::size_t piece = (data[0] & 0x7F) == 0 ? size : (data[0] & 0x7F);
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  Connection c(role, 1);
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    c.feed(bytes.substr(at, piece));
    if (!drain(c)) return 0;
  }
  c.end_of_input();
  drain(c);
  check(!c.needs_input());
  return 0;
}
