#include "websocket/core/accept_key.hpp"

#include <nettle/base64.h>
#include <nettle/sha1.h>

namespace tarnvale::websocket {

namespace {

constexpr std::string_view kGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

}  // namespace

std::string accept_key(std::string_view key) {
  sha1_ctx ctx;
  sha1_init(&ctx);
  sha1_update(&ctx, key.size(), reinterpret_cast<const std::uint8_t*>(key.data()));
  sha1_update(&ctx, kGuid.size(), reinterpret_cast<const std::uint8_t*>(kGuid.data()));
  unsigned char digest[SHA1_DIGEST_SIZE];
  sha1_digest(&ctx, SHA1_DIGEST_SIZE, digest);
  return base64_encode(digest);
}

std::string base64_encode(std::span<const unsigned char> bytes) {
  std::string out(BASE64_ENCODE_RAW_LENGTH(bytes.size()), '\0');
  base64_encode_raw(out.data(), bytes.size(), bytes.data());
  return out;
}

}  // namespace tarnvale::websocket
