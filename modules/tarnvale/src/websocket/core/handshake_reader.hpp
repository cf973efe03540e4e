// Reads the HTTP head of an opening handshake (the client's request or the server's
// response) as it arrives, line by line, and refuses a head that is too large or dribbled
// in: more than 65536 bytes, more than 512 reads, or after 64 reads fewer than 128 bytes per
// read. Lines already taken are let go, so it holds little more than the line arriving.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "platform/result.hpp"
#include "websocket/core/error.hpp"
#include "websocket/core/input_buffer.hpp"
#include "websocket/core/input_budget.hpp"

namespace tarnvale::websocket {

// One line of the head, without its CRLF: the start line, a field line, or the empty line
// that ends the head.
struct HeadLine {
  enum class Kind { start, field, end };
  Kind kind;
  std::string_view text;
};

// The two fields that both sides of an upgrade carry, "Connection" with the token "upgrade"
// and "Upgrade" with the token "websocket", gathered over the fields of a head.
struct UpgradeFields {
  bool connection_upgrade = false;
  bool upgrade_websocket = false;
  // Notes the field if it is one of the two: false for any other.
  bool take(std::string_view name, std::string_view value);
};

class HandshakeReader {
 public:
  static constexpr std::size_t kMaxReadSize = 4096;
  static constexpr std::size_t kMaxBytes = 65536;
  static constexpr std::size_t kMaxReads = 512;
  static constexpr std::size_t kReadsBeforeRateCheck = 64;
  static constexpr std::size_t kMinBytesPerRead = 128;
  // Bytes of a start line checked before its end has arrived.
  static constexpr std::size_t kStartLinePrefixChecked = 1024;

  enum class Head { request, response };
  // The bytes held count against `budget`, if any.
  explicit HandshakeReader(Head head, std::shared_ptr<InputBudget> budget = nullptr)
      : head_(head), account_(std::move(budget)) {}

  // Where the next read goes: at most 4096 bytes.
  std::span<unsigned char> read_space();
  // `n` bytes (n > 0) were read into read_space(): hands `take` each line that is complete,
  // the start line first, up to the end of the head. True once the head has ended, false
  // while more is due, or the error that fails the handshake: a limit passed (the budget's
  // too), a line ending that is not CR LF, a start line that cannot become one, or an error
  // of `take`.
  template <class Take>
  Result<bool, Error> commit(std::size_t n, Take&& take) {
    if (auto read = count_read(n); !read) return unexpected(std::move(read).error());
    for (;;) {
      auto line = next_line();
      if (!line) return unexpected(std::move(line).error());
      if (!*line) break;
      if ((*line)->kind == HeadLine::Kind::end) return true;
      if (auto taken = take(**line); !taken) return unexpected(std::move(taken).error());
    }
    if (auto start = check_partial_start_line(); !start) return unexpected(std::move(start).error());
    return false;
  }
  // Why the head ended unfinished: the budget's refusal once it has ended the reader (it ends
  // the socket too), otherwise the peer closed early: "Handshake not finished".
  Error end_of_input() const {
    return account_.ended() ? account_.refusal() : Error::protocol(std::string(kHandshakeNotFinished));
  }
  InputAccount& input_account() { return account_; }

  // The bytes received behind the head, once its end has been taken.
  std::string_view leftover() const {
    return {reinterpret_cast<const char*>(buffer_.data()), buffer_.size()};
  }

 private:
  Result<void, Error> count_read(std::size_t n);
  // The next complete line, none while it is still arriving (and after the end of the head).
  // The text stays valid until the next call.
  Result<std::optional<HeadLine>, Error> next_line();
  // A start line still arriving is refused as soon as its first kStartLinePrefixChecked
  // bytes cannot begin one: the peer may be waiting for an answer before it sends a line end.
  Result<void, Error> check_partial_start_line() const;
  Result<void, Error> check_start_line_prefix(std::string_view text) const;

  Head head_;
  InputBuffer buffer_;
  InputAccount account_;
  std::size_t reads_ = 0;
  std::size_t bytes_ = 0;
  // Bytes at the front of the buffer: the line last taken, let go at the next call.
  std::size_t taken_ = 0;
  // Bytes after them already searched for a line feed.
  std::size_t searched_ = 0;
  bool started_ = false;
  bool ended_ = false;
};

}  // namespace tarnvale::websocket
