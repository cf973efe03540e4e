#include "metrics/detail/load_average.hpp"

#include "metrics/detail/decimal.hpp"
#include "metrics/detail/white_space.hpp"

namespace tarnvale::metrics {

LoadAverage parse_loadavg(std::string_view text) {
  text = trim_white_space(text);
  double numbers[3] = {0.0, 0.0, 0.0};
  std::size_t found = 0;
  std::size_t pos = 0;
  for (int piece = 0; piece < 3 && pos <= text.size(); ++piece) {
    const std::size_t end = std::min(text.find(' ', pos), text.size());
    if (const auto number = parse_float(text.substr(pos, end - pos))) numbers[found++] = *number;
    pos = end + 1;
  }
  return LoadAverage{numbers[0], numbers[1], numbers[2]};
}

}  // namespace tarnvale::metrics
