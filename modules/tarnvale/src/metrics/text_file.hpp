// One kernel text file read whole on demand into a buffer that is kept and reused.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvale::metrics {

class TextFile {
 public:
  explicit TextFile(std::string path) : path_(std::move(path)) {}

  // The file's whole text, valid until the next read; none when the file cannot be read
  // or is not valid UTF-8.
  std::optional<std::string_view> read();

 private:
  std::string path_;
  std::vector<char> buffer_;  // its size is its capacity; it only grows
};

}  // namespace tarnvale::metrics
