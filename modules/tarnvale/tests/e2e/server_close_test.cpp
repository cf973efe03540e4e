// The service's own closes reach the client whole: the close frame and everything queued
// before it, then an orderly end of the TCP stream, even with the client's input unread.
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "e2e/service_client.hpp"
#include "e2e/service_process.hpp"
#include "websocket/frames.hpp"

namespace tarnvale::e2e {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;
namespace frames = websocket::testing;

constexpr std::string_view kNoUsableUuid = "close 1002 invalid request without a usable UUID";

// The release build when one is named (as `make test` does), otherwise this build's binary.
std::string release_binary_if_given() { return unsanitized_binary().value_or(service_binary()); }

bool is_update(const std::string& message) { return message.find(R"("type":"DataUpdate")") != std::string::npos; }
bool is_get_reply(const std::string& message) {
  return message.find(R"("type":"GetValueResponse")") != std::string::npos;
}

std::size_t open_descriptors(pid_t pid) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
    ++n;
  }
  return n;
}

// Blocked in a write to a client that has stopped reading, the connection lags behind the
// ticks and is closed while many of the client's requests are still unread.
TEST(ServerCloseTest, LaggingClientReadsEveryQueuedMessageThenTheCloseThenAnOrderlyEnd) {
  RunningService service({}, release_binary_if_given());
  ServiceClient client(16 * 1024);
  ASSERT_TRUE(client.open());
  ASSERT_TRUE(client.send_text(request("SubscribeValue", "system")));
  ASSERT_NE(client.next_reply().find(R"("type":"SubscribeValueResponse")"), std::string::npos);
  // Replies enough to fill the service's send buffer (at most 4 MiB by default) even for a
  // small tree. The requests go out in large writes: a segment per request would overrun the
  // receive queues by their overhead, and the kernel's drops would stall the stream.
  constexpr int kRequests = 12000;
  constexpr int kPerWrite = 500;
  std::string requests;
  for (int i = 0; i < kPerWrite; ++i) {
    requests += frames::frame(frames::kFin | frames::kText, request("GetValue", "system"));
  }
  for (int i = 0; i < kRequests; i += kPerWrite) ASSERT_TRUE(client.send_raw(requests)) << i;

  // More than 16 ticks pass while the service waits for the client to read.
  std::this_thread::sleep_for(17500ms);
  int replies = 0;
  std::string got;
  for (const auto give_up = steady_clock::now() + 20s; steady_clock::now() < give_up;) {
    got = client.next();
    if (is_update(got)) continue;
    if (!is_get_reply(got)) break;
    ++replies;
  }
  EXPECT_EQ(got, "close 1008 client could not keep up with system updates");
  EXPECT_GT(replies, 0);
  EXPECT_LT(replies, kRequests);
  EXPECT_EQ(client.tcp_end(), TcpEnd::orderly);
  EXPECT_EQ(service.process.stderr_text(), "");
}

TEST(ServerCloseTest, BinaryMessageWithRequestsBehindItGetsTheCloseAndAnOrderlyEnd) {
  RunningService service({}, release_binary_if_given());
  ServiceClient client;
  ASSERT_TRUE(client.open());
  std::string bytes = frames::frame(frames::kFin | frames::kBinary, "\x01\x02\x03");
  const std::string get = frames::frame(frames::kFin | frames::kText, request("GetValue", "system.uptime"));
  for (int i = 0; i < 200; ++i) bytes += get;
  ASSERT_TRUE(client.send_raw(std::move(bytes)));
  EXPECT_EQ(client.next(), "close 1003 tarnvale accepts JSON text messages only");
  EXPECT_EQ(client.tcp_end(), TcpEnd::orderly);
  EXPECT_EQ(service.process.stderr_text(), "");
}

// As RFC 6455 asks and browsers do, the client answers the server's close with its own.
TEST(ServerCloseTest, ClientThatAnswersTheCloseSeesAnOrderlyEnd) {
  RunningService service({}, release_binary_if_given());
  for (int trial = 0; trial < 10; ++trial) {
    SCOPED_TRACE(trial);
    ServiceClient client;
    ASSERT_TRUE(client.open());
    ASSERT_TRUE(client.send_text("not json"));
    ASSERT_EQ(client.next(), kNoUsableUuid);
    ASSERT_TRUE(client.close(1000, ""));
    EXPECT_EQ(client.tcp_end(), TcpEnd::orderly);
  }
  EXPECT_EQ(service.process.stderr_text(), "");
}

// The descriptor of a client that neither sends nor ends its side lives on for the idle
// bound of five seconds, and no longer.
TEST(ServerCloseTest, SilentClientKeepsTheDescriptorForTheIdleBoundOnly) {
  RunningService service({}, release_binary_if_given());
  const std::size_t idle = open_descriptors(service.process.pid());
  ServiceClient client;
  ASSERT_TRUE(client.open());
  ASSERT_TRUE(client.send_text("not json"));
  ASSERT_EQ(client.next(), kNoUsableUuid);
  const auto closed = steady_clock::now();
  EXPECT_EQ(open_descriptors(service.process.pid()), idle + 1);
  while (open_descriptors(service.process.pid()) > idle && steady_clock::now() - closed < 10s) {
    std::this_thread::sleep_for(20ms);
  }
  const auto lingered = steady_clock::now() - closed;
  EXPECT_GT(lingered, 4500ms);
  EXPECT_LT(lingered, 6500ms);
  EXPECT_EQ(service.process.stderr_text(), "");
}

}  // namespace
}  // namespace tarnvale::e2e
