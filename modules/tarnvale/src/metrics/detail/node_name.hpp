// Node names taken from CPUs and disks: the canonical form, and names made unique among
// their siblings.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <string_view>

namespace tarnvale::metrics {

// Names already in use among siblings, compared byte-wise.
using NameSet = std::set<std::string, std::less<>>;

// Keeps ASCII letters, digits, "-" and "_"; every run of other characters (Unicode
// characters, decoded lossily) becomes one "_"; "_" is trimmed from both ends. An empty
// result gives `fallback`, unchanged.
std::string canonical_node_name(std::string_view raw, std::string_view fallback);

// The canonical name, or the first of name_2, name_3, … that is not in `used`. The result
// is not added to `used`. Any set of names looked up by text will do: a NameSet, or the
// children of the branch that the name is for.
template <class Names>
std::string unique_node_name(std::string_view raw, std::string_view fallback, const Names& used) {
  std::string candidate = canonical_node_name(raw, fallback);
  if (!used.contains(std::string_view(candidate))) return candidate;
  for (unsigned long long n = 2;; ++n) {
    std::string numbered = candidate + "_" + std::to_string(n);
    if (!used.contains(std::string_view(numbered))) return numbered;
  }
}

}  // namespace tarnvale::metrics
