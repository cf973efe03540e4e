#include "platform/detail/line_queue.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace tarnvale::platform {

LineQueue::LineQueue(std::size_t capacity) : data_(new char[capacity]), capacity_(capacity) {}

bool LineQueue::push(std::initializer_list<std::string_view> pieces, std::uint64_t weight) {
  // A count of lines dropped before goes out before the lines after them.
  report_dropped();
  std::size_t size = 1;
  for (const std::string_view piece : pieces) size += piece.size();
  if (size > capacity_ - (end_ - begin_)) {
    dropped_ += weight;
    return false;
  }
  if (size > capacity_ - end_) {
    std::memmove(data_.get(), data_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  for (const std::string_view piece : pieces) {
    std::memcpy(data_.get() + end_, piece.data(), piece.size());
    end_ += piece.size();
  }
  data_[end_++] = '\n';
  queued_total_ += size;
  if (weight > 1) weighted_.push_back({queued_total_, weight - 1});
  return true;
}

std::string_view LineQueue::front(std::size_t most) const {
  const std::string_view waiting(data_.get() + begin_, end_ - begin_);
  if (waiting.size() <= most) return waiting;
  const std::size_t last = waiting.rfind('\n', most - 1);
  if (last != std::string_view::npos) return waiting.substr(0, last + 1);
  return waiting.substr(0, most);
}

void LineQueue::written(std::size_t n) {
  n = std::min(n, end_ - begin_);
  begin_ += n;
  written_total_ += n;
  while (!weighted_.empty() && weighted_.front().end <= written_total_) weighted_.erase(weighted_.begin());
  if (!empty()) return;
  begin_ = end_ = 0;
  report_dropped();
}

void LineQueue::discard() {
  const std::string_view waiting(data_.get() + begin_, end_ - begin_);
  // A partly written line counts too: its end is lost.
  dropped_ += static_cast<std::uint64_t>(std::count(waiting.begin(), waiting.end(), '\n'));
  for (const Weighted& line : weighted_) dropped_ += line.extra;
  weighted_.clear();
  written_total_ = queued_total_;
  begin_ = end_ = 0;
}

void LineQueue::report_dropped() {
  if (!empty() || dropped_ == 0) return;
  const std::uint64_t lines = std::exchange(dropped_, 0);
  // Dropped in turn, it counts as the lines it stands for.
  push({"standard error fell behind: ", std::to_string(lines), " lines not written"}, lines);
}

}  // namespace tarnvale::platform
