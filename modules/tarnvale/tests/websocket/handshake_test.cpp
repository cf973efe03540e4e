// The opening handshake without sockets: what a request must carry, the exact response,
// the limits on size and dribbling, and the client side against the server side.
#include "websocket/core/client_handshake.hpp"
#include "websocket/core/server_handshake.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "websocket/core/accept_key.hpp"

namespace tarnvale::websocket {
namespace {

constexpr const char* kKey = "dGhlIHNhbXBsZSBub25jZQ==";

std::string request(std::string_view first_line, std::string_view headers) {
  return std::string(first_line) + "\r\n" + std::string(headers) + "\r\n";
}

std::string upgrade(std::string_view target = "/", std::string_view extra = "") {
  return request("GET " + std::string(target) + " HTTP/1.1",
                 "Connection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
                 "Sec-WebSocket-Key: " + std::string(kKey) + "\r\n" + std::string(extra));
}

// An upgrade whose Connection field has the value `connection`.
std::string with_connection(std::string_view connection) {
  return request("GET / HTTP/1.1", "Connection: " + std::string(connection) +
                                       "\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
                                       "Sec-WebSocket-Key: " + std::string(kKey) + "\r\n");
}

// Feeds `bytes` in reads of the given sizes (the last size repeats): the response, the
// error's display text, or "" while the request is incomplete.
std::string serve(std::string_view bytes, std::vector<std::size_t> reads = {4096}) {
  ServerHandshake handshake;
  std::size_t at = 0;
  for (std::size_t i = 0; at < bytes.size(); ++i) {
    const std::size_t n = std::min({reads[std::min(i, reads.size() - 1)], bytes.size() - at, std::size_t{4096}});
    auto space = handshake.read_space();
    EXPECT_GE(space.size(), n);
    std::memcpy(space.data(), bytes.data() + at, n);
    at += n;
    auto r = handshake.commit(n);
    if (!r) return r.error().display();
    if (*r) return at == bytes.size() ? **r : "returned early";
  }
  return "";
}

const std::string kResponse =
    "HTTP/1.1 101 Switching Protocols\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n"
    "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n";

TEST(ServerHandshakeTest, AnyTargetIsAcceptedAndNothingBeyondTheUpgradeIsAnswered) {
  const std::string cases[] = {
      upgrade("/"),
      upgrade("/any/path?with=query&and#more"),
      upgrade("*"),
      // Asked-for subprotocols and extensions are not granted; Host is not required.
      upgrade("/", "Host: example\r\nSec-WebSocket-Protocol: chat\r\nSec-WebSocket-Extensions: permessage-deflate\r\n"),
      request("GET / HTTP/1.1", "connection: keep-alive, upgrade\r\nUPGRADE: WebSocket\r\n"
                                "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: " + std::string(kKey) + "\r\n"),
      request("GET / HTTP/1.1", "Connection: keep-alive,Upgrade\r\nUpgrade: websocket\r\n"
                                "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key:   " + std::string(kKey) + "  \r\n"),
      // "Upgrade" among tokens separated by any mix of commas, spaces and tabs, in any case,
      // or in a second Connection field.
      with_connection("keep-alive Upgrade"),
      with_connection("Upgrade ,  keep-alive"),
      with_connection("keep-alive\tuPgRaDe"),
      with_connection(",upgrade,"),
      with_connection("keep-alive\r\nConnection: Upgrade"),
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c);
    EXPECT_EQ(serve(c), kResponse);
    EXPECT_EQ(serve(c, {1, 2, 3, 64}), kResponse);
  }
}

TEST(ServerHandshakeTest, RequestsThatAreNoUpgradeFail) {
  const std::string key = "Sec-WebSocket-Key: " + std::string(kKey) + "\r\n";
  struct Case {
    std::string bytes;
    std::string error;
  } cases[] = {
      {request("POST / HTTP/1.1", "Connection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n" + key),
       "WebSocket protocol error: Unsupported HTTP method used - only GET is allowed"},
      {request("GET / HTTP/1.0", "Connection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n" + key),
       "WebSocket protocol error: HTTP version must be 1.1 or higher"},
      {request("GET / HTTP/1.1", "Host: x\r\n"), "WebSocket protocol error: No \"Connection: upgrade\" header"},
      {request("GET / HTTP/1.1", "Connection: upgraded\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n" + key),
       "WebSocket protocol error: No \"Connection: upgrade\" header"},
      {request("GET / HTTP/1.1", "Connection: Upgrade\r\nUpgrade: h2c\r\nSec-WebSocket-Version: 13\r\n" + key),
       "WebSocket protocol error: No \"Upgrade: websocket\" header"},
      {request("GET / HTTP/1.1", "Connection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 8\r\n" + key),
       "WebSocket protocol error: No \"Sec-WebSocket-Version: 13\" header"},
      {request("GET / HTTP/1.1", "Connection: Upgrade\r\nUpgrade: websocket\r\n" + key),
       "WebSocket protocol error: No \"Sec-WebSocket-Version: 13\" header"},
      {request("GET / HTTP/1.1", "Connection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"),
       "WebSocket protocol error: No \"Sec-WebSocket-Key\" header"},
      {upgrade() + "\x81\x80", "WebSocket protocol error: Junk after client request"},
      {with_connection("keep-alive"), "WebSocket protocol error: No \"Connection: upgrade\" header"},
      {with_connection("Upgradex"), "WebSocket protocol error: No \"Connection: upgrade\" header"},
      {with_connection("keep-alive;Upgrade"), "WebSocket protocol error: No \"Connection: upgrade\" header"},
      // Heads that are not well-formed HTTP/1.1.
      {"GET / HTTP/1.1\r\nbad header line\r\n\r\n", "HTTP format error: bad field"},
      {"GET / HTTP/1.1\r\nConnection : Upgrade\r\n\r\n", "HTTP format error: bad field"},
      {"GET / HTTP/1.1\r\n: Upgrade\r\n\r\n", "HTTP format error: bad field"},
      {"GET / HTTP/1.1\r\nConnection: Up\x01grade\r\n\r\n", "HTTP format error: bad value"},
      {"GET / HTTP/1.1\r\nConnection: Up\rgrade\r\n\r\n", "HTTP format error: bad value"},
      {"GET / HTTP/1.1\r\nConnection: Up\x7fgrade\r\n\r\n", "HTTP format error: bad value"},
      {"GET / HTTP/1.1\r\nConnection: keep-alive,\r\n Upgrade\r\n\r\n", "HTTP format error: obsolete line folding"},
      {"GET / HTTP/1.1\r\n Connection: Upgrade\r\n\r\n", "HTTP format error: obsolete line folding"},
      {"GET / HTTP/1.1\nConnection: Upgrade\r\n\r\n", "HTTP format error: bad line ending"},
      {"GET / HTTP/1.1\r\nConnection: Upgrade\n\r\n", "HTTP format error: bad line ending"},
      {"GET / HTTP/1.1\r\n\n", "HTTP format error: bad line ending"},
      {"\r\nGET / HTTP/1.1\r\n\r\n", "HTTP format error: bad method"},
      {"G\x01\n", "HTTP format error: bad method"},
      {"GET  / HTTP/1.1\r\n\r\n", "HTTP format error: bad target"},
      {"GET /\x01 HTTP/1.1\r\n\r\n", "HTTP format error: bad target"},
      {"GET / HTTP/2.0\r\n\r\n", "HTTP format error: bad version"},
      {"GET / HTTP/1.1 \r\n\r\n", "HTTP format error: bad version"},
      {"GET / http/1.1\r\n\r\n", "HTTP format error: bad version"},
      {"GET /\r\n\r\n", "HTTP format error: bad target"},
      // Refused before any line end: a TLS client waits for the server to answer.
      {"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", "HTTP format error: bad method"},
      {"GET / HTTQ", "HTTP format error: bad version"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(serve(c.bytes), c.error);
    EXPECT_EQ(serve(c.bytes, {1, 2, 3, 64}), c.error);
  }
}

TEST(ServerHandshakeTest, OversizeOrDribbledRequestsAreAnAttack) {
  // A request padded with an ignored header to exactly `size` bytes.
  auto padded = [](std::size_t size) {
    const std::string base = upgrade("/", "X-Pad: \r\n");
    std::string r = upgrade("/", "X-Pad: " + std::string(size - base.size(), 'p') + "\r\n");
    EXPECT_EQ(r.size(), size);
    return r;
  };
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::size_t> reads;
    bool attack;
  } cases[] = {
      {"65536 bytes", padded(65536), {4096}, false},
      {"65537 bytes", padded(65537), {4096}, true},
      {"64 reads of 3 bytes", padded(192), {3}, false},
      {"65 reads of 3 bytes", padded(195), {3}, true},
      {"512 reads of 128 bytes", padded(65536), {128}, false},
      {"reads of 127 bytes fall behind the rate", padded(65536), {127}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(serve(c.bytes, c.reads), c.attack ? "Attack attempt detected" : kResponse);
  }
}

TEST(ClientHandshakeTest, ClientAndServerAgreeAndAWrongAnswerIsRefused) {
  const std::string key = base64_encode(std::vector<unsigned char>(16, 0xAB));
  ClientHandshake client("127.0.0.1:8083", "/some/path", key);
  const std::string response = serve(client.request());
  ASSERT_EQ(response.substr(0, 12), "HTTP/1.1 101");

  auto answer = [&](const std::string& bytes) {
    ClientHandshake c("127.0.0.1:8083", "/", key);
    auto space = c.read_space();
    std::memcpy(space.data(), bytes.data(), bytes.size());
    auto r = c.commit(bytes.size());
    if (!r) return r.error().display();
    return *r ? "leftover:" + **r : std::string("incomplete");
  };
  EXPECT_EQ(answer(response + "\x81\x02hi"), "leftover:\x81\x02hi");
  EXPECT_EQ(answer(response.substr(0, 20)), "incomplete");
  EXPECT_EQ(answer("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n"), "HTTP error: 400");
  EXPECT_EQ(answer(kResponse), "WebSocket protocol error: Key mismatch in \"Sec-WebSocket-Accept\" header");
  EXPECT_EQ(answer("HTTP/1.1 101\r\n\r\n"), "HTTP format error: bad status");
  EXPECT_EQ(answer("HTTP/1.1 1o1 Switching\r\n\r\n"), "HTTP format error: bad status");
  EXPECT_EQ(answer("HTTP/3 101 Switching\r\n\r\n"), "HTTP format error: bad version");
  EXPECT_EQ(answer("SSH-2.0-x"), "HTTP format error: bad version");
}

TEST(AcceptKeyTest, MatchesTheProtocolsWorkedExample) {
  EXPECT_EQ(accept_key(kKey), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

}  // namespace
}  // namespace tarnvale::websocket
