// Lines waiting for standard error, in a buffer of fixed size: whole lines go in, and any
// number of bytes comes out as the descriptor takes them. A line that does not fit, or that
// cannot be written, is dropped and counted; once everything before it is written, the count
// goes out as a line of its own, before any line queued after that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

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

  // What is queued cannot be written: it is dropped, each line of it counted (a summary as
  // the lines it stands for).
  void discard();

  // Lines lost otherwise (the line could not even be made): counted like dropped ones.
  void count_lost(std::uint64_t lines) noexcept { dropped_ += lines; }

  // When nothing waits and lines were dropped, queues the line that counts them.
  void report_dropped();

  bool empty() const { return begin_ == end_; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t capacity_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::uint64_t dropped_ = 0;
  // Bytes ever queued and ever written, which place the weighted lines below.
  std::uint64_t queued_total_ = 0;
  std::uint64_t written_total_ = 0;
  // The queued lines that stand for more than one: where each ends, and its weight beyond 1.
  struct Weighted {
    std::uint64_t end;
    std::uint64_t extra;
  };
  std::vector<Weighted> weighted_;
};

}  // namespace tarnvale::platform
