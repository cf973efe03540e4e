// The display texts of the WebSocket layer's errors, which reach a connection's failure line.
#include "websocket/core/error.hpp"

#include <cerrno>

#include <gtest/gtest.h>

namespace tarnvale::websocket {
namespace {

TEST(ErrorTest, DisplayTextsFollowTheirKind) {
  struct Case {
    Error error;
    std::string display;
  } cases[] = {
      {Error::connection_closed(), "Connection closed normally"},
      {Error::already_closed(), "Trying to work with closed connection"},
      {Error::io(ECONNRESET), "IO error: Connection reset by peer (os error 104)"},
      {Error::io(EPIPE), "IO error: Broken pipe (os error 32)"},
      {Error::message_too_long(67108865, 67108864), "Space limit exceeded: Message too long: 67108865 > 67108864"},
      {Error::protocol(std::string(kResetWithoutClosingHandshake)),
       "WebSocket protocol error: Connection reset without closing handshake"},
      {Error::protocol(std::string(kHandshakeNotFinished)), "WebSocket protocol error: Handshake not finished"},
      {Error::utf8("incomplete utf-8 byte sequence from index 0"),
       "UTF-8 encoding error: incomplete utf-8 byte sequence from index 0"},
      {Error::attack_attempt(), "Attack attempt detected"},
      {Error::http(400), "HTTP error: 400"},
      {Error::http_format("bad method"), "HTTP format error: bad method"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.display);
    EXPECT_EQ(c.error.display(), c.display);
  }
}

}  // namespace
}  // namespace tarnvale::websocket
