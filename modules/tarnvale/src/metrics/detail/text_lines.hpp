// Walking a text line by line without copying it.
#pragma once

#include <string_view>

namespace tarnvale::metrics {

// The next line of `text` without its "\n", consumed from `text`.
inline std::string_view take_line(std::string_view& text) {
  const std::size_t eol = text.find('\n');
  const std::string_view line = text.substr(0, eol);
  text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
  return line;
}

}  // namespace tarnvale::metrics
