// Lines waiting for standard error, in a buffer of fixed size: whole lines go in, and any
// number of bytes comes out as the descriptor takes them. A line that does not fit is
// dropped and counted; once everything before it is written, the count goes out as a line
// of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>

namespace tarnvale::platform {

class LineQueue {
 public:
  explicit LineQueue(std::size_t capacity);

  // Appends the pieces and "\n" as one line, or drops the line when it does not fit. A
  // dropped line counts as `weight` lines: a summary stands for the lines it counts.
  bool push(std::initializer_list<std::string_view> pieces, std::uint64_t weight = 1);

  // The first bytes waiting: as many whole lines as fit in `most` bytes, or the first line
  // alone (or its first `most` bytes) when it is longer.
  std::string_view front(std::size_t most) const;

  // The first `n` bytes have been written. When that empties the queue and lines were
  // dropped, the line that counts them is queued.
  void written(std::size_t n);

  // What is queued cannot be written: it is dropped, each line of it counted.
  void discard();

  bool empty() const { return begin_ == end_; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t capacity_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::uint64_t dropped_ = 0;
};

}  // namespace tarnvale::platform
