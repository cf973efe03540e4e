#include "json/syntax_error.hpp"

#include <algorithm>

namespace tarnvale::json {

std::string ReadError::message() const {
  std::string text(description);
  text += " at line ";
  text += std::to_string(line);
  text += " column ";
  text += std::to_string(column);
  return text;
}

ReadError locate(std::string_view text, const SyntaxError& error) {
  const std::size_t stop = error.stop;
  const std::size_t newline = stop == 0 ? std::string_view::npos : text.rfind('\n', stop - 1);
  const std::size_t line_start = newline == std::string_view::npos ? 0 : newline + 1;
  const auto lines = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(line_start), '\n');
  return ReadError{error.description, static_cast<std::size_t>(lines) + 1, stop - line_start};
}

}  // namespace tarnvale::json
