#include "protocol/uuid.hpp"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

namespace tarnvale::protocol {
namespace {

TEST(RandomUuidTest, IsVersion4InLowerCaseAndNeverRepeats) {
  // More draws than one batch of random bytes holds, so that refills are crossed.
  constexpr int kDraws = 5000;
  std::unordered_set<std::string> seen;
  for (int i = 0; i < kDraws; ++i) {
    std::string text = "x";
    append_random_uuid(text);
    ASSERT_EQ(text.size(), 1 + kUuidTextSize);
    const std::string uuid = text.substr(1);
    SCOPED_TRACE(uuid);
    for (std::size_t k = 0; k < uuid.size(); ++k) {
      if (k == 8 || k == 13 || k == 18 || k == 23) {
        ASSERT_EQ(uuid[k], '-');
      } else {
        ASSERT_TRUE((uuid[k] >= '0' && uuid[k] <= '9') || (uuid[k] >= 'a' && uuid[k] <= 'f'));
      }
    }
    ASSERT_EQ(uuid[14], '4');
    ASSERT_NE(std::string_view("89ab").find(uuid[19]), std::string_view::npos);
    ASSERT_TRUE(is_uuid_text(uuid));
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kDraws));
}

}  // namespace
}  // namespace tarnvale::protocol
