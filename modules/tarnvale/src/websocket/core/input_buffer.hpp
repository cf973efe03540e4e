// The bytes received and not yet decoded. It grows with what a connection sends and gives
// a large allocation back once everything in it has been decoded, so that an idle
// connection holds at most a few KiB.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

namespace tarnvale::websocket {

class InputBuffer {
 public:
  // Capacity kept while the buffer is empty; anything larger is released then.
  static constexpr std::size_t kIdleCapacity = 4096;

  // Free space of at least `min` bytes at the end, for the next read.
  std::span<unsigned char> prepare(std::size_t min);
  // `n` bytes were written to the space that prepare() gave.
  void commit(std::size_t n) { end_ += n; }
  // The first `n` unread bytes have been decoded.
  void consume(std::size_t n);

  const unsigned char* data() const { return storage_.get() + begin_; }
  unsigned char* data() { return storage_.get() + begin_; }
  std::size_t size() const { return end_ - begin_; }
  std::size_t capacity() const { return capacity_; }

 private:
  std::unique_ptr<unsigned char[]> storage_;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace tarnvale::websocket
