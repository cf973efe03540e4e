// The queue of lines for standard error: whole lines in, any number of bytes out, and lines
// that find it full dropped and then counted in a line of their own.
#include "platform/detail/line_queue.hpp"

#include <string>

#include <gtest/gtest.h>

namespace tarnvale::platform {
namespace {

// Everything the queue hands out, `most` bytes at a time, as a writer that takes it all.
std::string drain(LineQueue& queue, std::size_t most = 4096) {
  std::string out;
  while (!queue.empty()) {
    const std::string_view chunk = queue.front(most);
    out.append(chunk);
    queue.written(chunk.size());
  }
  return out;
}

TEST(LineQueueTest, FullQueueDropsLinesAndReportsTheirCountOnceDrained) {
  LineQueue queue(64);
  EXPECT_TRUE(queue.push({"first line, ", "20 long!"}));  // 21 bytes with its "\n"
  EXPECT_TRUE(queue.push({"second line, 20 long"}));
  EXPECT_TRUE(queue.push({"third line, 20 long!"}));
  EXPECT_FALSE(queue.push({"fourth"}));          // 1 byte is left
  EXPECT_FALSE(queue.push({"a summary"}, 500));  // stands for the 500 lines it counts

  // The reader catches up part way: no report yet, and room again.
  queue.written(21);
  EXPECT_TRUE(queue.push({"fifth"}));
  EXPECT_EQ(drain(queue),
            "second line, 20 long\nthird line, 20 long!\nfifth\nstandard error fell behind: 501 lines not written\n");
  EXPECT_TRUE(queue.push({"after"}));
  EXPECT_EQ(drain(queue), "after\n");
}

TEST(LineQueueTest, WritesTakeWholeLinesAndTheQueueKeepsItsOrderAcrossPartialWrites) {
  LineQueue queue(16);
  ASSERT_TRUE(queue.push({"aaaaaa"}));
  ASSERT_TRUE(queue.push({"bbbbbb"}));
  EXPECT_EQ(queue.front(10), "aaaaaa\n");    // whole lines only
  EXPECT_EQ(queue.front(14), "aaaaaa\nbbbbbb\n");
  queue.written(3);                          // a partial write
  EXPECT_EQ(queue.front(2), "aa");           // a line longer than the chunk comes in parts
  queue.written(4);
  // The free room is split between both ends: the bytes waiting move to the front.
  ASSERT_TRUE(queue.push({"ccccccc"}));
  EXPECT_EQ(drain(queue, 5), "bbbbbb\nccccccc\n");
}

TEST(LineQueueTest, DiscardedLinesAreCountedBeforeTheNextLine) {
  LineQueue queue(128);
  ASSERT_TRUE(queue.push({"one"}));
  ASSERT_TRUE(queue.push({"a summary"}, 15));  // stands for the 15 lines it counts
  ASSERT_TRUE(queue.push({"two"}));
  queue.written(2);  // "one" partly written: its end is lost with the rest
  queue.discard();
  EXPECT_TRUE(queue.empty());
  ASSERT_TRUE(queue.push({"three"}));
  EXPECT_EQ(drain(queue), "standard error fell behind: 17 lines not written\nthree\n");

  // A count with nothing after it is queued when asked for, as at the end.
  ASSERT_TRUE(queue.push({"four"}));
  queue.discard();
  queue.report_dropped();
  EXPECT_EQ(drain(queue), "standard error fell behind: 1 lines not written\n");
  // A weighted line that was written counts no more.
  ASSERT_TRUE(queue.push({"a summary"}, 40));
  queue.written(10);
  ASSERT_TRUE(queue.push({"five"}));
  queue.discard();
  queue.report_dropped();
  EXPECT_EQ(drain(queue), "standard error fell behind: 1 lines not written\n");
}

}  // namespace
}  // namespace tarnvale::platform
