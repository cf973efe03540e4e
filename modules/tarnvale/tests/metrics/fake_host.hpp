// Host calls for tests: statvfs answered from a table, a monotonic clock moved by hand,
// and proc roots copied from the fixtures so that a test can change their files.
#pragma once

#include <sys/statvfs.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "metrics/sysinfo_system_metrics_source.hpp"

namespace tarnvale::metrics::testing {

struct Space {
  unsigned long frsize = 0;
  fsblkcnt_t blocks = 0;
  fsblkcnt_t bavail = 0;
  int error = 0;        // statvfs fails with this errno when set
  int interrupts = 0;   // fails with EINTR this many times first
};

// Shared by the copies of the calls that a source holds, so a test can change it later.
struct FakeHost {
  std::map<std::string, Space, std::less<>> spaces;  // by mount point; others give ENOENT
  std::map<std::string, int, std::less<>> statvfs_calls;
  std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
  std::optional<std::uint64_t> sysinfo_uptime = 77;

  int statvfs(const char* path, struct ::statvfs* out) {
    ++statvfs_calls[path];
    auto it = spaces.find(path);
    if (it == spaces.end()) {
      errno = ENOENT;
      return -1;
    }
    Space& s = it->second;
    if (s.interrupts > 0) {
      --s.interrupts;
      errno = EINTR;
      return -1;
    }
    if (s.error != 0) {
      errno = s.error;
      return -1;
    }
    *out = {};
    out->f_frsize = s.frsize;
    out->f_blocks = s.blocks;
    out->f_bavail = s.bavail;
    return 0;
  }
};

inline HostCalls calls_for(const std::shared_ptr<FakeHost>& host) {
  HostCalls calls;
  calls.statvfs = [host](const char* path, struct ::statvfs* out) { return host->statvfs(path, out); };
  calls.monotonic_now = [host] { return host->now; };
  calls.fallback_uptime = [host] { return host->sysinfo_uptime; };
  return calls;
}

inline std::string fixture(const std::string& name) { return std::string(TARNVALE_TEST_DATA) + "/" + name; }

// A fresh copy of the fixture root `name` under the build tree, named after the test.
inline std::string copy_root(const std::string& name, const std::string& test) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(TARNVALE_BINARY_DIR) / "metrics_roots" / test;
  fs::remove_all(root);
  fs::create_directories(root);
  for (const auto& file : fs::directory_iterator(fixture(name))) fs::copy(file.path(), root / file.path().filename());
  return root.string();
}

inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tarnvale::metrics::testing
