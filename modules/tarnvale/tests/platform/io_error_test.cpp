// The "Error: " renderings of I/O errors and the debug quoting they use.
#include "platform/io_error.hpp"

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

namespace tarnvale::platform {
namespace {

TEST(IoErrorDebugTest, SystemErrorForm) {
  struct Case {
    int code;
    const char* want;
  } cases[] = {
      {EADDRINUSE, R"(Os { code: 98, kind: AddrInUse, message: "Address in use" })"},
      {EADDRNOTAVAIL, R"(Os { code: 99, kind: AddrNotAvailable, message: "Address not available" })"},
      {EACCES, R"(Os { code: 13, kind: PermissionDenied, message: "Permission denied" })"},
      {EPERM, R"(Os { code: 1, kind: PermissionDenied, message: "Operation not permitted" })"},
      {EMFILE, R"(Os { code: 24, kind: TooManyOpenFiles, message: "No file descriptors available" })"},
      {ENFILE, R"(Os { code: 23, kind: TooManyOpenFiles, message: "Too many open files in system" })"},
      {ENOMEM, R"(Os { code: 12, kind: OutOfMemory, message: "Out of memory" })"},
      {ENOBUFS, R"(Os { code: 105, kind: Uncategorized, message: "No buffer space available" })"},
      {ECONNABORTED, R"(Os { code: 103, kind: ConnectionAborted, message: "Connection aborted" })"},
      {EPROTO, R"(Os { code: 71, kind: Uncategorized, message: "Protocol error" })"},
      {EINTR, R"(Os { code: 4, kind: Interrupted, message: "Interrupted system call" })"},
      {EINVAL, R"(Os { code: 22, kind: InvalidInput, message: "Invalid argument" })"},
      {ECONNRESET, R"(Os { code: 104, kind: ConnectionReset, message: "Connection reset by peer" })"},
      {ETIMEDOUT, R"(Os { code: 110, kind: TimedOut, message: "Operation timed out" })"},
      {EHOSTUNREACH, R"(Os { code: 113, kind: HostUnreachable, message: "Host is unreachable" })"},
      {ENETUNREACH, R"(Os { code: 101, kind: NetworkUnreachable, message: "Network unreachable" })"},
      {ENOTCONN, R"(Os { code: 107, kind: NotConnected, message: "Socket not connected" })"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(IoError::from_code(c.code).debug(), c.want);
  }
}

TEST(IoErrorDebugTest, WrappedFormCarriesTheWrappedRendering) {
  auto e = IoError::custom("Other", "MetricsError { message: " + debug_quote("no \"stat\"\n") + " }");
  EXPECT_EQ(e.debug(), R"(Custom { kind: Other, error: MetricsError { message: "no \"stat\"\n" } })");
}

TEST(IoErrorDisplayTest, SystemTextWithCode) {
  EXPECT_EQ(IoError::from_code(ECONNRESET).display(), "Connection reset by peer (os error 104)");
}

TEST(DebugQuoteTest, EscapesLikeThePlatformDebugOutput) {
  struct Case {
    std::string in;
    const char* want;
  } cases[] = {
      {"plain 'text'", R"("plain 'text'")"},
      {"q\"b\\", R"("q\"b\\")"},
      {std::string("\t\n\r\0", 4), R"("\t\n\r\0")"},
      {"\x1b\x7f", R"("\u{1b}\u{7f}")"},
      {"\xc2\x85", R"("\u{85}")"},
      {"\xc3\xbc", "\"\xc3\xbc\""},
      // Ill-formed UTF-8 is shown as U+FFFD, so the text stays valid UTF-8.
      {"a\xff\xc3" "b\xe2\x80", "\"a\xef\xbf\xbd\xef\xbf\xbd" "b\xef\xbf\xbd\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    EXPECT_EQ(debug_quote(c.in), c.want);
  }
}

}  // namespace
}  // namespace tarnvale::platform
