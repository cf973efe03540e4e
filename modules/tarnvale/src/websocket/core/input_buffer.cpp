#include "websocket/core/input_buffer.hpp"

#include <cstring>

namespace tarnvale::websocket {

std::span<unsigned char> InputBuffer::prepare(std::size_t min) {
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
    }
    begin_ = 0;
    end_ = unread;
  }
  return {storage_.get() + end_, capacity_ - end_};
}

void InputBuffer::consume(std::size_t n) {
  begin_ += n;
  if (begin_ != end_) return;
  begin_ = end_ = 0;
  if (capacity_ > kIdleCapacity) {
    storage_.reset();
    capacity_ = 0;
  }
}

}  // namespace tarnvale::websocket
