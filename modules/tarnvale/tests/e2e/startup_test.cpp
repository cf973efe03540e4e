// Start-up of the real binary: its one line on standard output about a second after the
// start, a second instance on the same port that fails to bind without disturbing the first,
// and a runtime that cannot be built.
#include <string>

#include <gtest/gtest.h>

#include "e2e/service_client.hpp"
#include "e2e/service_process.hpp"

namespace tarnvale::e2e {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;

TEST(StartupTest, LineAfterTheFirstSampleAndASecondInstanceFailsToBind) {
  ServiceProcess first;
  const auto line = first.stdout_line(10s);
  const auto took = steady_clock::now() - first.started();
  ASSERT_EQ(line, "tarnvale listening on ws://0.0.0.0:8083") << first.stderr_text();
  // The start-up sample is taken one second after the start, before anything listens.
  EXPECT_GE(took, 950ms);
  EXPECT_LE(took, 2500ms);

  ServiceProcess second;
  EXPECT_EQ(second.wait_exit(10s), 1);
  const auto lasted = steady_clock::now() - second.started();
  EXPECT_GE(lasted, 950ms);
  EXPECT_LE(lasted, 2500ms);
  EXPECT_EQ(second.stdout_line(1s), std::nullopt);
  EXPECT_EQ(second.stderr_text(), "Error: Os { code: 98, kind: AddrInUse, message: \"Address in use\" }\n");

  // The first instance serves on, and has written nothing more on either stream.
  ServiceClient client;
  ASSERT_TRUE(client.open());
  ASSERT_TRUE(client.send_text(request("GetValue", "system.uptime")));
  EXPECT_NE(client.next_reply().find(R"("type":"GetValueResponse")"), std::string::npos);
  EXPECT_TRUE(first.running());
  EXPECT_EQ(first.stdout_line(0ms), std::nullopt);
  EXPECT_EQ(first.stderr_text(), "");
}

// Without a descriptor for the I/O driver the runtime cannot be built: a fault, before the
// main task has done anything.
TEST(StartupTest, RuntimeWithoutDescriptorsIsAFaultWithStatus101) {
  const auto binary = unsanitized_binary();
  if (!binary) GTEST_SKIP() << "a sanitizer build runs this on the binary named by TARNVALE_RELEASE_BINARY";
  ServiceProcess service({"prlimit", "--nofile=3:3"}, *binary);
  EXPECT_EQ(service.wait_exit(5s), 101);
  const std::string err = service.stderr_text();
  EXPECT_NE(err.find(R"(Failed building the Runtime: Os { code: 24, kind: TooManyOpenFiles, message: "No file descriptors available" })"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("Error: "), std::string::npos) << err;
}

}  // namespace
}  // namespace tarnvale::e2e
