#include "websocket/core/input_buffer.hpp"

#include <cstring>

namespace tarnvale::websocket {

namespace {

// One thread decodes one read at a time, so its buffers can share the space a read goes to.
unsigned char* shared_space() {
  alignas(64) thread_local unsigned char space[InputBuffer::kSharedCapacity];
  return space;
}

}  // namespace

std::span<unsigned char> InputBuffer::prepare(std::size_t min) {
  keep();
  if (capacity_ - end_ < min) {
    const std::size_t unread = size();
    if (capacity_ - unread >= min) {
      std::memmove(storage_.get(), storage_.get() + begin_, unread);
    } else {
      // Whole pages, so that small growth steps do not reallocate on every read.
      const std::size_t wanted = (unread + min + kIdleCapacity - 1) / kIdleCapacity * kIdleCapacity;
      std::unique_ptr<unsigned char[]> bigger(new unsigned char[wanted]);
      if (unread != 0) std::memcpy(bigger.get(), storage_.get() + begin_, unread);
      storage_ = std::move(bigger);
      capacity_ = wanted;
      base_ = storage_.get();
    }
    begin_ = 0;
    end_ = unread;
  }
  return {storage_.get() + end_, capacity_ - end_};
}

std::span<unsigned char> InputBuffer::prepare_shared(std::size_t min) {
  if (size() != 0 || min > kSharedCapacity) return prepare(min);
  storage_.reset();
  capacity_ = 0;
  base_ = shared_space();
  shared_ = true;
  begin_ = end_ = 0;
  return {base_, kSharedCapacity};
}

void InputBuffer::consume(std::size_t n) {
  begin_ += n;
  if (begin_ != end_) return;
  begin_ = end_ = 0;
  if (capacity_ > kIdleCapacity) {
    storage_.reset();
    capacity_ = 0;
    base_ = nullptr;
  }
}

void InputBuffer::keep() {
  if (!shared_) return;
  shared_ = false;
  const std::size_t unread = size();
  if (unread != 0) {
    storage_.reset(new unsigned char[unread]);
    std::memcpy(storage_.get(), base_ + begin_, unread);
  }
  capacity_ = unread;
  base_ = storage_.get();
  begin_ = 0;
  end_ = unread;
}

}  // namespace tarnvale::websocket
