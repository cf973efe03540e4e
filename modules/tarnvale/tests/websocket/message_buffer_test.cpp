// The message buffer keeps its bytes while it grows from the heap into mapped memory and on
// within it, and hands them on by moving.
#include "websocket/core/message_buffer.hpp"

#include <string>

#include <gtest/gtest.h>

namespace tarnvale::websocket {
namespace {

TEST(MessageBufferTest, BytesSurviveEveryKindOfGrowthAndMoveOut) {
  std::string expected;
  MessageBuffer buffer;
  // From the heap, across into mapped memory, then within it, in uneven steps.
  for (std::size_t capacity : {std::size_t{64}, std::size_t{200'000}, MessageBuffer::kMappedFrom + 1,
                               std::size_t{3} << 20, std::size_t{7} << 20}) {
    SCOPED_TRACE(capacity);
    buffer.reserve(capacity);
    EXPECT_GE(buffer.capacity(), capacity);
    const std::string piece(capacity - buffer.size(), static_cast<char>('a' + expected.size() % 26));
    buffer.append(piece.data(), piece.size());
    expected += piece;
    ASSERT_EQ(buffer.view(), expected);
  }
  MessageBuffer moved = std::move(buffer);
  EXPECT_EQ(moved.view(), expected);
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(buffer.capacity(), 0u);
  const MessageBuffer copy = moved;
  EXPECT_EQ(copy, moved);
  EXPECT_EQ(MessageBuffer(""), "");
}

}  // namespace
}  // namespace tarnvale::websocket
