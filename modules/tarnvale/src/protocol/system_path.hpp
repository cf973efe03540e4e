// A validated dotted path into the data tree ("system", "system.memory.swap.used"): the
// text exactly as the client sent it and its segments, the first of which is "system".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.hpp"

namespace tarnvale::protocol {

inline constexpr std::size_t kMaxPathBytes = 512;
inline constexpr std::size_t kMaxPathSegments = 64;

class SystemPath {
 public:
  // The path of `text`, or the fixed message of the first check it fails.
  static Result<SystemPath, std::string_view> parse(std::string_view text);

  const std::string& text() const { return text_; }
  const std::vector<std::string>& segments() const { return segments_; }

  friend bool operator==(const SystemPath&, const SystemPath&) = default;

 private:
  SystemPath() = default;

  std::string text_;
  std::vector<std::string> segments_;
};

}  // namespace tarnvale::protocol
