#include "metrics/detail/node_name.hpp"

#include "platform/utf8.hpp"

namespace tarnvale::metrics {

namespace {

bool is_allowed(char32_t c) {
  return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9') || c == U'-' ||
         c == U'_';
}

bool is_canonical(std::string_view raw) {
  if (raw.empty() || raw.front() == '_' || raw.back() == '_') return false;
  for (const char c : raw) {
    if (!is_allowed(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

std::string canonical_node_name(std::string_view raw, std::string_view fallback) {
  // The names of CPUs and disks are mostly canonical already.
  if (is_canonical(raw)) return std::string(raw);
  std::string name;
  name.reserve(raw.size());
  bool in_run = false;
  std::size_t pos = 0;
  while (pos < raw.size()) {
    const char32_t c = platform::decode_utf8(raw, pos);
    if (is_allowed(c)) {
      name.push_back(static_cast<char>(c));
      in_run = false;
    } else if (!in_run) {
      name.push_back('_');
      in_run = true;
    }
  }
  const auto first = name.find_first_not_of('_');
  if (first == std::string::npos) return std::string(fallback);
  name.erase(name.find_last_not_of('_') + 1);
  name.erase(0, first);
  return name;
}

}  // namespace tarnvale::metrics
