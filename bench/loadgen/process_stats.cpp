#include "loadgen/process_stats.hpp"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace tarnvale::loadgen {

namespace {

std::optional<std::string> read_text(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::optional<CpuTime> read_cpu_time(int pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  const auto stat = read_text(proc + "/stat");
  if (!stat) return std::nullopt;
  // The command name may hold spaces; the fields after it start behind the last ')'.
  const auto close = stat->rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(stat->substr(close + 2));
  std::string skip;
  // Fields 3 to 13 (state .. cmajflt), then 14 utime and 15 stime.
  for (int i = 3; i <= 13; ++i) fields >> skip;
  long long utime = 0;
  long long stime = 0;
  if (!(fields >> utime >> stime)) return std::nullopt;
  CpuTime cpu;
  const long long tick_ns = 1'000'000'000LL / ::sysconf(_SC_CLK_TCK);
  cpu.user_ns = utime * tick_ns;
  cpu.system_ns = stime * tick_ns;
  if (const auto sched = read_text(proc + "/schedstat")) {
    std::istringstream in(*sched);
    long long run_ns = 0;
    if (in >> run_ns) cpu.sched_ns = run_ns;
  }
  return cpu;
}

CpuSpent cpu_spent(const CpuTime& before, const CpuTime& after) {
  const auto stat = static_cast<double>(after.stat_ns() - before.stat_ns());
  const double sched = before.sched_ns && after.sched_ns ? static_cast<double>(*after.sched_ns - *before.sched_ns) : stat;
  const double kernel = static_cast<double>(after.system_ns - before.system_ns);
  return CpuSpent{sched, stat, stat > 0 ? kernel / stat : 0.0};
}

std::optional<std::int64_t> read_rss(int pid) {
  const auto status = read_text("/proc/" + std::to_string(pid) + "/status");
  if (!status) return std::nullopt;
  const auto at = status->find("VmRSS:");
  if (at == std::string::npos) return std::nullopt;
  std::istringstream in(status->substr(at + 6));
  long long kib = 0;
  if (!(in >> kib)) return std::nullopt;
  return kib * 1024;
}

}  // namespace tarnvale::loadgen
