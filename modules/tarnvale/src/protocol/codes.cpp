#include "protocol/codes.hpp"

namespace tarnvale::protocol {

std::string path_not_found_message(std::string_view path) {
  std::string out = "path '";
  out.append(path);
  out.append("' does not exist");
  return out;
}

}  // namespace tarnvale::protocol
