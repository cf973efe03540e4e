// One kernel text file read whole on demand into a buffer that is kept and reused, through
// a descriptor that is kept open between reads.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvale::metrics {

class TextFile {
 public:
  explicit TextFile(std::string path) : path_(std::move(path)) {}
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // The file's whole text, valid until the next read; none when the file cannot be read
  // or is not valid UTF-8. Each read starts again at offset 0, which makes a kernel file
  // produce its text anew. A file that cannot be opened, or whose read fails, is opened
  // again by its path at the next read.
  std::optional<std::string_view> read();

 private:
  void close();

  std::string path_;
  int fd_ = -1;
  std::vector<char> buffer_;  // its size is its capacity; it only grows
};

}  // namespace tarnvale::metrics
