#include "websocket/core/frame.hpp"

#include <cstring>

namespace tarnvale::websocket {

void apply_mask(unsigned char* data, std::size_t size, const MaskKey& mask, std::uint64_t offset) {
  // The key rotated so that its first byte lines up with data[0], repeated over a word.
  unsigned char rotated[8];
  for (std::size_t i = 0; i < 8; ++i) rotated[i] = mask[(offset + i) % 4];
  std::uint64_t word_mask;
  std::memcpy(&word_mask, rotated, 8);
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, data + i, 8);
    word ^= word_mask;
    std::memcpy(data + i, &word, 8);
  }
  for (; i < size; ++i) data[i] ^= rotated[i % 8];
}

}  // namespace tarnvale::websocket
