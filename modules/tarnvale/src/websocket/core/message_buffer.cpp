#include "websocket/core/message_buffer.hpp"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace tarnvale::websocket {

namespace {

constexpr std::size_t kPage = 4096;

char* map(std::size_t capacity) {
  void* p = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  return static_cast<char*>(p);
}

}  // namespace

MessageBuffer::MessageBuffer(std::string_view text) {
  reserve(text.size());
  append(text.data(), text.size());
}

MessageBuffer::MessageBuffer(const std::string& text) : MessageBuffer(std::string_view(text)) {}

MessageBuffer::MessageBuffer(const char* text) : MessageBuffer(std::string_view(text)) {}

MessageBuffer& MessageBuffer::operator=(const MessageBuffer& other) {
  if (this != &other) *this = MessageBuffer(other);
  return *this;
}

MessageBuffer::MessageBuffer(MessageBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

MessageBuffer& MessageBuffer::operator=(MessageBuffer&& other) noexcept {
  if (this != &other) {
    free();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

MessageBuffer::~MessageBuffer() { free(); }

void MessageBuffer::free() {
  if (capacity_ >= kMappedFrom) {
    ::munmap(data_, capacity_);
  } else {
    std::free(data_);
  }
  data_ = nullptr;
  size_ = capacity_ = 0;
}

void MessageBuffer::reserve(std::size_t capacity) {
  if (capacity <= capacity_) return;
  if (capacity < kMappedFrom) {
    void* grown = std::realloc(data_, capacity);
    if (grown == nullptr) throw std::bad_alloc();
    data_ = static_cast<char*>(grown);
  } else {
    capacity = (capacity + kPage - 1) / kPage * kPage;
    if (capacity_ >= kMappedFrom) {
      void* moved = ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
      if (moved == MAP_FAILED) throw std::bad_alloc();
      data_ = static_cast<char*>(moved);
    } else {
      char* mapped = map(capacity);
      if (size_ != 0) std::memcpy(mapped, data_, size_);
      std::free(data_);
      data_ = mapped;
    }
  }
  capacity_ = capacity;
}

void MessageBuffer::append(const char* bytes, std::size_t n) {
  if (n == 0) return;
  std::memcpy(data_ + size_, bytes, n);
  size_ += n;
}

}  // namespace tarnvale::websocket
