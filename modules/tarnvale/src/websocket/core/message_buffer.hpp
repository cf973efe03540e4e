// The bytes of a message as it is received, and then handed on as they lie. From 256 KiB the
// buffer is mapped memory of its own, which grows in place or is moved by the kernel: a large
// message is copied once, when it leaves the heap, not again at each growth, and its memory
// goes back to the system as soon as it is freed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnvale::websocket {

class MessageBuffer {
 public:
  // Capacities from which the buffer is mapped memory.
  static constexpr std::size_t kMappedFrom = 256 * 1024;

  MessageBuffer() = default;
  // A copy of `text`, for messages made by hand: a text stands for a message.
  MessageBuffer(std::string_view text);     // NOLINT(google-explicit-constructor)
  MessageBuffer(const std::string& text);   // NOLINT(google-explicit-constructor)
  MessageBuffer(const char* text);          // NOLINT(google-explicit-constructor)
  MessageBuffer(const MessageBuffer& other) : MessageBuffer(other.view()) {}
  MessageBuffer& operator=(const MessageBuffer& other);
  MessageBuffer(MessageBuffer&& other) noexcept;
  MessageBuffer& operator=(MessageBuffer&& other) noexcept;
  ~MessageBuffer();

  const char* data() const { return data_; }
  char* data() { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::size_t capacity() const { return capacity_; }
  std::string_view view() const { return {data_, size_}; }
  operator std::string_view() const { return view(); }  // NOLINT(google-explicit-constructor)

  // Room for `capacity` bytes in all (throws std::bad_alloc when there is no memory).
  void reserve(std::size_t capacity);
  // Appends `n` bytes, within the capacity.
  void append(const char* bytes, std::size_t n);
  // Empty, with the capacity kept.
  void clear() { size_ = 0; }

  friend bool operator==(const MessageBuffer& a, std::string_view b) { return a.view() == b; }

 private:
  void free();

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace tarnvale::websocket
