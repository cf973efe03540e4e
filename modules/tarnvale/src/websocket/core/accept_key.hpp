// The Sec-WebSocket-Accept value that proves a server read the client's Sec-WebSocket-Key:
// base64 of the SHA-1 of the key followed by the protocol's fixed GUID.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tarnvale::websocket {

std::string accept_key(std::string_view key);

// Standard base64 with padding, as the Sec-WebSocket-Key nonce is written.
std::string base64_encode(std::span<const unsigned char> bytes);

}  // namespace tarnvale::websocket
