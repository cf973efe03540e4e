#include "websocket/core/handshake_reader.hpp"

#include <cstring>
#include <utility>

#include "websocket/core/detail/http_head.hpp"

namespace tarnvale::websocket {

std::span<unsigned char> HandshakeReader::read_space() {
  buffer_.consume(std::exchange(taken_, 0));
  return buffer_.prepare(kMaxReadSize).first(kMaxReadSize);
}

Result<void, Error> HandshakeReader::count_read(std::size_t n) {
  buffer_.commit(n);
  ++reads_;
  bytes_ += n;
  if (bytes_ > kMaxBytes || reads_ > kMaxReads ||
      (reads_ > kReadsBeforeRateCheck && bytes_ < kMinBytesPerRead * reads_)) {
    return unexpected(Error::attack_attempt());
  }
  if (!account_.hold(buffer_.capacity())) return unexpected(account_.refusal());
  return {};
}

Result<std::optional<HeadLine>, Error> HandshakeReader::next_line() {
  buffer_.consume(std::exchange(taken_, 0));
  if (ended_ || searched_ == buffer_.size()) return std::optional<HeadLine>();
  const auto* data = reinterpret_cast<const char*>(buffer_.data());
  const void* found = std::memchr(data + searched_, '\n', buffer_.size() - searched_);
  if (found == nullptr) {
    searched_ = buffer_.size();
    return std::optional<HeadLine>();
  }
  const auto feed = static_cast<std::size_t>(static_cast<const char*>(found) - data);
  if (feed == 0 || data[feed - 1] != '\r') {
    // What came of a start line before its end was checked as it arrived: the same check
    // first, so that the error does not depend on how the bytes were split into reads.
    if (!started_) {
      if (auto start = check_start_line_prefix({data, feed}); !start) return unexpected(std::move(start).error());
    }
    return unexpected(Error::http_format("bad line ending"));
  }
  const std::string_view text(data, feed - 1);
  searched_ = 0;
  HeadLine line{HeadLine::Kind::field, text};
  if (!started_) {
    started_ = true;
    line.kind = HeadLine::Kind::start;
  } else if (text.empty()) {
    // The end of the head: what follows is not the head's.
    ended_ = true;
    buffer_.consume(feed + 1);
    line.kind = HeadLine::Kind::end;
    return std::optional<HeadLine>(line);
  }
  taken_ = feed + 1;
  return std::optional<HeadLine>(line);
}

Result<void, Error> HandshakeReader::check_partial_start_line() const {
  if (started_) return {};
  return check_start_line_prefix({reinterpret_cast<const char*>(buffer_.data()), buffer_.size()});
}

Result<void, Error> HandshakeReader::check_start_line_prefix(std::string_view text) const {
  // A carriage return at the end may still be followed by its line feed.
  if (text.ends_with('\r')) text.remove_suffix(1);
  // Its start tells whether the peer speaks HTTP at all; the rest waits for the line end, so
  // that a long line is not checked again with every read.
  text = text.substr(0, kStartLinePrefixChecked);
  if (head_ == Head::request) {
    if (auto line = parse_request_line(text, false); !line) return unexpected(std::move(line).error());
  } else {
    if (auto line = parse_status_line(text, false); !line) return unexpected(std::move(line).error());
  }
  return {};
}

bool UpgradeFields::take(std::string_view name, std::string_view value) {
  if (equals_ignoring_case(name, "Connection")) {
    connection_upgrade = connection_upgrade || has_token(value, "upgrade");
  } else if (equals_ignoring_case(name, "Upgrade")) {
    upgrade_websocket = upgrade_websocket || has_token(value, "websocket");
  } else {
    return false;
  }
  return true;
}

}  // namespace tarnvale::websocket
