// The service against a client this project did not write (Python's websockets, run by the
// system interpreter that has it): schema and value of "system", timed updates in path order,
// ping, an echoed close, and the server's own close codes. Every connection ends cleanly, so
// nothing reaches standard error.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "e2e/service_process.hpp"

namespace tarnvale::e2e {
namespace {

using namespace std::chrono_literals;

TEST(PythonClientTest, ProtocolAndClosesAgainstAnotherImplementation) {
  RunningService service;
  const std::string command = "timeout 30 /usr/bin/python3 " TARNVALE_TEST_DATA "/protocol_client.py 2>&1";
  FILE* client = popen(command.c_str(), "r");
  ASSERT_NE(client, nullptr);
  std::string output;
  char chunk[512];
  while (std::size_t n = std::fread(chunk, 1, sizeof chunk, client)) output.append(chunk, n);
  EXPECT_EQ(pclose(client), 0) << output;
  EXPECT_EQ(output, "ok\n");

  EXPECT_TRUE(service.process.running());
  EXPECT_EQ(service.process.stderr_text(200ms), "");
  EXPECT_EQ(service.process.stdout_line(0ms), std::nullopt);
}

}  // namespace
}  // namespace tarnvale::e2e
