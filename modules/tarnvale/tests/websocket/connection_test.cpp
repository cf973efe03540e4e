// The protocol core over hand-built client frames: length encodings, fragmentation with
// control frames between fragments, UTF-8 across fragments, close answers, malformed frames,
// size limits, the end of the TCP stream, and frames written in either role.
#include "websocket/core/connection.hpp"

#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "websocket/frames.hpp"

namespace tarnvale::websocket {
namespace {

using namespace testing;

struct Outcome {
  std::vector<Event> events;
  std::string error;  // display text of the error that ended the run, if any
};

// Feeds `bytes` in pieces of `chunk` and takes every event after each piece, up to End or an
// error; then the end of input when `eof`.
Outcome run(Connection& c, std::string_view bytes, std::size_t chunk = std::numeric_limits<std::size_t>::max(),
            bool eof = false) {
  Outcome out;
  auto drain = [&] {
    for (;;) {
      auto r = c.next_event();
      if (!r) {
        out.error = r.error().display();
        return false;
      }
      if (!*r) return true;
      out.events.push_back(std::move(**r));
      if (std::holds_alternative<End>(out.events.back())) return false;
    }
  };
  for (std::size_t i = 0; i < bytes.size(); i += chunk) {
    c.feed(bytes.substr(i, chunk));
    if (!drain()) return out;
  }
  if (eof) {
    c.end_of_input();
    drain();
  }
  return out;
}

std::string letters(std::size_t n) {
  std::string s(n, 'a');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

TEST(ConnectionTest, EveryLengthEncodingDeliversTheWholePayload) {
  struct Case {
    std::size_t length;
    int length_bytes;  // -1: shortest form
    std::size_t chunk;
  } cases[] = {
      {0, -1, 1},      {125, -1, 1},    {126, -1, 1},    {127, -1, 7},
      {65535, -1, 4093}, {65536, -1, 4093}, {5, 2, 1},   {5, 8, 1},  // longer forms than needed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + " in " + std::to_string(c.length_bytes) + " length bytes");
    const std::string payload = letters(c.length);
    std::string bytes = header(kFin | kText, c.length, true, c.length_bytes);
    const std::string masked = frame(kFin | kText, payload);
    bytes += masked.substr(header(kFin | kText, c.length).size());
    Connection conn(Role::server);
    auto out = run(conn, bytes, c.chunk);
    EXPECT_EQ(out.error, "");
    ASSERT_EQ(out.events.size(), 1u);
    EXPECT_EQ(out.events[0], Event(Text{payload}));
    EXPECT_TRUE(conn.needs_input());
  }
}

TEST(ConnectionTest, ControlFramesBetweenFragmentsAreYieldedWithoutBreakingTheMessage) {
  Connection conn(Role::server);
  const std::string bytes = frame(kText, "He") + frame(kFin | kPing, "p1") + frame(kContinuation, "l") +
                            frame(kFin | kPong, "p2") + frame(kFin | kContinuation, "lo");
  auto out = run(conn, bytes, 3);
  EXPECT_EQ(out.error, "");
  const std::vector<Event> want = {Ping{"p1"}, Pong{"p2"}, Text{"Hello"}};
  EXPECT_EQ(out.events, want);
  // The pong answers the ping with its payload, unmasked from the server.
  EXPECT_EQ(conn.queued_control()[1], frame(kFin | kPong, "p1", false));
  EXPECT_TRUE(conn.queued_control()[2].empty());
}

TEST(ConnectionTest, InvalidUtf8FailsTheTextWhereItArrives) {
  struct Case {
    const char* name;
    std::vector<std::string> fragments;
    bool final;
    std::string want;  // the text, or the error's display
  } cases[] = {
      {"valid sequence split", {"\xE2\x82", "\xAC"}, true, "\xE2\x82\xAC"},
      {"invalid sequence split", {"ab\xE2\x82", "(c"}, true,
       "UTF-8 encoding error: invalid utf-8 sequence of 2 bytes from index 2"},
      {"fails before the last fragment", {"ok", "\xFF"}, false,
       "UTF-8 encoding error: invalid utf-8 sequence of 1 bytes from index 2"},
      {"unfinished at the end", {"ok\xF0\x9F", "\x98"}, true,
       "UTF-8 encoding error: incomplete utf-8 byte sequence from index 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes;
    for (std::size_t i = 0; i < c.fragments.size(); ++i) {
      const bool last = i + 1 == c.fragments.size();
      const unsigned char opcode = i == 0 ? kText : kContinuation;
      bytes += frame(static_cast<unsigned char>(opcode | (last && c.final ? kFin : 0)), c.fragments[i]);
    }
    Connection conn(Role::server);
    auto out = run(conn, bytes);
    if (out.error.empty()) {
      ASSERT_EQ(out.events.size(), 1u);
      EXPECT_EQ(out.events[0], Event(Text{c.want}));
    } else {
      EXPECT_EQ(out.error, c.want);
    }
  }
}

TEST(ConnectionTest, PeerCloseIsAnsweredByTheRuleOfItsCode) {
  struct Case {
    std::string sent;    // close payload
    std::string answer;  // payload of the queued answer
  } cases[] = {
      {"", ""},
      {close_body(1000, "bye"), close_body(1000, "bye")},
      {close_body(1001, ""), close_body(1001, "")},
      {close_body(1003, "x"), close_body(1003, "x")},
      {close_body(1007, "x"), close_body(1007, "x")},
      {close_body(1013, "x"), close_body(1013, "x")},
      {close_body(3000, "app"), close_body(3000, "app")},
      {close_body(4999, "app"), close_body(4999, "app")},
      {close_body(999, "x"), close_body(1002, "Protocol violation")},
      {close_body(1004, "x"), close_body(1002, "Protocol violation")},
      {close_body(1005, "x"), close_body(1002, "Protocol violation")},
      {close_body(1006, "x"), close_body(1002, "Protocol violation")},
      {close_body(1014, "x"), close_body(1002, "Protocol violation")},
      {close_body(1015, "x"), close_body(1002, "Protocol violation")},
      {close_body(2000, "x"), close_body(1002, "Protocol violation")},
      {close_body(5000, "x"), close_body(1002, "Protocol violation")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sent.size() >= 2 ? std::to_string((static_cast<unsigned char>(c.sent[0]) << 8) |
                                                     static_cast<unsigned char>(c.sent[1]))
                                    : "no code");
    Connection conn(Role::server);
    // Bytes behind the close are never read.
    auto out = run(conn, frame(kFin | kClose, c.sent) + frame(kFin | kText, "late"));
    EXPECT_EQ(out.error, "");
    Close want;
    if (!c.sent.empty()) want = Close{static_cast<std::uint16_t>((static_cast<unsigned char>(c.sent[0]) << 8) |
                                                                 static_cast<unsigned char>(c.sent[1])),
                                      c.sent.substr(2)};
    const std::vector<Event> events = {want, End{}};
    EXPECT_EQ(out.events, events);
    EXPECT_EQ(conn.queued_control()[2], frame(kFin | kClose, c.answer, false));
    EXPECT_EQ(conn.next_event().error(), Error::already_closed());
  }
}

TEST(ConnectionTest, MalformedFramesFailTheConnectionWithoutAnAnswer) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string error;
  } cases[] = {
      {"rsv1", frame(kFin | 0x40 | kText, "a"), "WebSocket protocol error: Reserved bits are non-zero"},
      {"rsv2", frame(kFin | 0x20 | kText, "a"), "WebSocket protocol error: Reserved bits are non-zero"},
      {"rsv3", frame(kFin | 0x10 | kText, "a"), "WebSocket protocol error: Reserved bits are non-zero"},
      {"data opcode 3", frame(kFin | 0x3, "a"), "WebSocket protocol error: Unknown data frame type: 3"},
      {"data opcode 7", frame(kFin | 0x7, "a"), "WebSocket protocol error: Unknown data frame type: 7"},
      {"control opcode 11", frame(kFin | 0xB, "a"), "WebSocket protocol error: Unknown control frame type: 11"},
      {"control opcode 15", frame(kFin | 0xF, "a"), "WebSocket protocol error: Unknown control frame type: 15"},
      {"unmasked", frame(kFin | kText, "a", false), "WebSocket protocol error: Received an unmasked frame from client"},
      {"fragmented ping", frame(kPing, "a"), "WebSocket protocol error: Fragmented control frame"},
      {"control of 126 bytes", frame(kFin | kPing, std::string(126, 'p')),
       "WebSocket protocol error: Control frame too big (payload must be 125 bytes or less)"},
      {"frame header over 16 MiB", header(kFin | kText, 16 * 1024 * 1024 + 1),
       "Space limit exceeded: Message too long: 16777217 > 16777216"},
      {"64-bit length with top bit", header(kFin | kBinary, 1ULL << 63),
       "Space limit exceeded: Message too long: 9223372036854775808 > 16777216"},
      {"continuation of nothing", frame(kFin | kContinuation, "a"),
       "WebSocket protocol error: Continue frame but nothing to continue"},
      {"new message inside a fragmented one", frame(kText, "a") + frame(kFin | kBinary, "b"),
       "WebSocket protocol error: Received a new data frame while a fragmented message is incomplete"},
      {"close of one byte", frame(kFin | kClose, "\x03"), "WebSocket protocol error: Invalid close sequence"},
      {"close reason not UTF-8", frame(kFin | kClose, close_body(1000, "\xC0\xAF")),
       "UTF-8 encoding error: invalid utf-8 sequence of 1 bytes from index 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Connection conn(Role::server);
    auto out = run(conn, c.bytes);
    EXPECT_TRUE(out.events.empty());
    EXPECT_EQ(out.error, c.error);
    EXPECT_FALSE(conn.has_queued_control());
    EXPECT_EQ(conn.next_event().error(), Error::already_closed());
  }
}

TEST(ConnectionTest, MessageOverSixtyFourMibIsRefusedAtTheHeaderThatCrossesTheLimit) {
  Connection conn(Role::server);
  const std::string piece(1024 * 1024, '\0');
  for (int i = 0; i < 4; ++i) {
    conn.feed(header(i == 0 ? kBinary : kContinuation, 16 * 1024 * 1024));
    for (int j = 0; j < 16; ++j) {
      conn.feed(piece);
      auto r = conn.next_event();
      ASSERT_TRUE(r && !*r);
    }
  }
  conn.feed(header(kFin | kContinuation, 1));
  auto r = conn.next_event();
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().display(), "Space limit exceeded: Message too long: 67108865 > 67108864");
}

TEST(ConnectionTest, TcpEndWithoutCloseFrameIsAResetUnlessOurCloseWasSent) {
  struct Case {
    const char* name;
    bool we_closed;
    std::string bytes;
    std::string error;
  } cases[] = {
      {"idle", false, "", "WebSocket protocol error: Connection reset without closing handshake"},
      {"inside a frame", false, frame(kFin | kText, "abc").substr(0, 7),
       "WebSocket protocol error: Connection reset without closing handshake"},
      {"after our close", true, frame(kFin | kText, "still read"), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Connection conn(Role::server);
    if (c.we_closed) {
      ASSERT_TRUE(conn.queue_close(1008, "slow"));
    }
    auto out = run(conn, c.bytes, 1, true);
    EXPECT_EQ(out.error, c.error);
    if (c.we_closed) {
      const std::vector<Event> want = {Text{"still read"}, End{}};
      EXPECT_EQ(out.events, want);
    }
  }
}

TEST(ConnectionTest, AnswerToOurCloseEndsTheStreamAndPingsAreNoLongerAnswered) {
  Connection conn(Role::server);
  ASSERT_TRUE(conn.queue_close(1003, "text only"));
  EXPECT_EQ(conn.queued_control()[2], frame(kFin | kClose, close_body(1003, "text only"), false));
  conn.control_written();
  auto out = run(conn, frame(kFin | kPing, "p") + frame(kFin | kClose, close_body(1000, "")));
  const std::vector<Event> want = {Ping{"p"}, Close{1000, ""}, End{}};
  EXPECT_EQ(out.events, want);
  EXPECT_FALSE(conn.has_queued_control());
}

TEST(ConnectionTest, SendingIsRefusedOnceAClosingHandshakeHasBegunOrTheConnectionEnded) {
  std::string payload = "x";
  Connection ours(Role::server);
  ASSERT_TRUE(ours.queue_close(1000, ""));
  EXPECT_EQ(ours.frame_message(Opcode::text, payload).error().display(),
            "WebSocket protocol error: Sending after closing is not allowed");

  Connection theirs(Role::server);
  theirs.feed(frame(kFin | kClose, ""));
  ASSERT_EQ(*theirs.next_event(), std::optional<Event>(Close{}));
  EXPECT_EQ(theirs.frame_message(Opcode::text, payload).error().display(),
            "WebSocket protocol error: Sending after closing is not allowed");
  // Closing after the peer's close only leaves the answer to be flushed.
  EXPECT_TRUE(theirs.queue_close(1000, ""));
  EXPECT_EQ(theirs.queued_control()[2], frame(kFin | kClose, "", false));

  Connection failed(Role::server);
  (void)run(failed, frame(kFin | kText, "a", false));
  EXPECT_EQ(failed.frame_message(Opcode::text, payload).error(), Error::already_closed());
  EXPECT_EQ(failed.queue_close(1000, "").error(), Error::already_closed());
}

TEST(ConnectionTest, FramesWrittenInOneRoleAreReadInTheOther) {
  for (std::size_t length : {0, 125, 126, 65535, 65536}) {
    SCOPED_TRACE(length);
    const std::string payload = letters(length);
    Connection server(Role::server);
    Connection client(Role::client, 42);

    std::string to_server = payload;
    auto client_header = client.frame_message(Opcode::text, to_server);
    ASSERT_TRUE(client_header);
    if (length > 0) {
      EXPECT_NE(to_server, payload);  // masked in place
    }
    auto got = run(server, std::string(client_header->view()) + to_server);
    ASSERT_EQ(got.events.size(), 1u);
    EXPECT_EQ(got.events[0], Event(Text{payload}));

    std::string to_client = payload;
    auto server_header = server.frame_message(Opcode::binary, to_client);
    ASSERT_TRUE(server_header);
    EXPECT_EQ(std::string(server_header->view()), header(kFin | kBinary, length, false));
    EXPECT_EQ(to_client, payload);  // the server never masks, so never touches the payload
    got = run(client, std::string(server_header->view()) + to_client);
    ASSERT_EQ(got.events.size(), 1u);
    EXPECT_EQ(got.events[0], Event(Binary{payload}));
  }
  // The client's control frames are masked too.
  Connection server(Role::server);
  Connection client(Role::client, 7);
  ASSERT_TRUE(client.queue_ping("are you there"));
  ASSERT_TRUE(client.queue_close(1000, "done"));
  std::string wire;
  for (auto part : client.queued_control()) wire += part;
  auto got = run(server, wire);
  const std::vector<Event> want = {Ping{"are you there"}, Close{1000, "done"}, End{}};
  EXPECT_EQ(got.events, want);
  // A masked frame from a server is refused by the client.
  EXPECT_EQ(run(client, frame(kFin | kText, "a")).error, "WebSocket protocol error: Received a masked frame from server");
}

TEST(InputBufferTest, LargeAllocationIsReleasedOnceEverythingIsDecoded) {
  InputBuffer buffer;
  buffer.prepare(100);
  buffer.commit(100);
  buffer.consume(100);
  EXPECT_EQ(buffer.capacity(), InputBuffer::kIdleCapacity);
  buffer.prepare(128 * 1024);
  buffer.commit(128 * 1024);
  buffer.consume(1000);
  EXPECT_GE(buffer.capacity(), 128u * 1024);
  buffer.consume(128 * 1024 - 1000);
  EXPECT_EQ(buffer.capacity(), 0u);
}

}  // namespace
}  // namespace tarnvale::websocket
