// A kernel text file read again and again through the descriptor it keeps open.
#include "metrics/detail/text_file.hpp"

#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "metrics/detail/decimal.hpp"
#include "metrics/fake_host.hpp"

namespace tarnvale::metrics {
namespace {

namespace fs = std::filesystem;

std::string scratch_folder() {
  const fs::path folder = fs::path(TARNVALE_BINARY_DIR) / "text_file" /
                          ::testing::UnitTest::GetInstance()->current_test_info()->name();
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder.string();
}

TEST(TextFileTest, EachReadIsTheWholeTextFromTheStart) {
  const std::string path = scratch_folder() + "/text";
  const std::string long_text(10'000, 'x');  // more than the first buffer holds
  testing::write_file(path, long_text);
  TextFile file(path);
  EXPECT_EQ(file.read(), long_text);
  testing::write_file(path, "short\n");
  EXPECT_EQ(file.read(), "short\n");  // nothing left over from the longer text
  testing::write_file(path, "ok \xFF\n");
  EXPECT_EQ(file.read(), std::nullopt);  // not UTF-8
  testing::write_file(path, "ok again\n");
  EXPECT_EQ(file.read(), "ok again\n");
}

TEST(TextFileTest, FileThatCannotBeReadIsReadOnceItCanBe) {
  const std::string path = scratch_folder() + "/text";
  TextFile file(path);
  EXPECT_EQ(file.read(), std::nullopt);  // it cannot be opened
  fs::create_directory(path);
  EXPECT_EQ(file.read(), std::nullopt);  // it opens, but the read fails
  fs::remove(path);
  testing::write_file(path, "there\n");
  EXPECT_EQ(file.read(), "there\n");
}

TEST(TextFileTest, KernelFileGivesFreshFiguresOnEveryRead) {
  TextFile uptime("/proc/uptime");
  auto centiseconds = [&] {
    const auto text = uptime.read();
    EXPECT_TRUE(text);
    const std::string_view figure = text ? text->substr(0, text->find(' ')) : "";
    const std::size_t dot = figure.find('.');
    return parse_decimal(figure.substr(0, dot)).value_or(0) * 100 + parse_decimal(figure.substr(dot + 1)).value_or(0);
  };
  const std::uint64_t first = centiseconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_GE(centiseconds(), first + 4);
}

}  // namespace
}  // namespace tarnvale::metrics
