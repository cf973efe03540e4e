// The bytes received and not yet decoded. It grows with what a connection sends and gives
// a large allocation back once everything in it has been decoded, so that an idle
// connection holds at most a few KiB. A read that is decoded at once can go to a space that
// the thread's connections share, so that an empty buffer holds nothing at all.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

namespace tarnvale::websocket {

class InputBuffer {
 public:
  // Capacity kept while the buffer is empty; anything larger is released then.
  static constexpr std::size_t kIdleCapacity = 4096;
  // Size of the space shared by the thread's buffers.
  static constexpr std::size_t kSharedCapacity = 128 * 1024;

  // Free space of at least `min` bytes at the end, for the next read.
  std::span<unsigned char> prepare(std::size_t min);
  // The same for a read whose bytes are decoded, and their rest kept, before any other buffer
  // of the thread reads: while the buffer holds nothing, the shared space (`min` at most
  // kSharedCapacity), and the buffer gives up storage of its own.
  std::span<unsigned char> prepare_shared(std::size_t min);
  // `n` bytes were written to the space that prepare() or prepare_shared() gave.
  void commit(std::size_t n) { end_ += n; }
  // The first `n` unread bytes have been decoded.
  void consume(std::size_t n);
  // Moves unread bytes that lie in the shared space into storage of the buffer's own.
  void keep();

  const unsigned char* data() const { return base_ + begin_; }
  unsigned char* data() { return base_ + begin_; }
  std::size_t size() const { return end_ - begin_; }
  // Of the buffer's own storage.
  std::size_t capacity() const { return capacity_; }

 private:
  std::unique_ptr<unsigned char[]> storage_;
  std::size_t capacity_ = 0;
  // storage_, or the shared space while the unread bytes lie there.
  unsigned char* base_ = nullptr;
  bool shared_ = false;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace tarnvale::websocket
