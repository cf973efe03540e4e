// Reads the HTTP head of an opening handshake (the client's request or the server's
// response) as it arrives, and refuses a head that is too large or dribbled in: more than
// 65536 bytes, more than 512 reads, or after 64 reads fewer than 128 bytes per read.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/fields.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>

#include "platform/result.hpp"
#include "websocket/core/error.hpp"
#include "websocket/core/input_buffer.hpp"

namespace tarnvale::websocket {

template <bool isRequest>
class HandshakeReader {
 public:
  using Message = boost::beast::http::message<isRequest, boost::beast::http::empty_body>;

  static constexpr std::size_t kMaxReadSize = 4096;
  static constexpr std::size_t kMaxBytes = 65536;
  static constexpr std::size_t kMaxReads = 512;
  static constexpr std::size_t kReadsBeforeRateCheck = 64;
  static constexpr std::size_t kMinBytesPerRead = 128;

  HandshakeReader();

  // Where the next read goes: at most 4096 bytes.
  std::span<unsigned char> read_space();
  // `n` bytes (n > 0) were read into read_space(): true once the head is complete, false while
  // more is due, or the error that fails the handshake.
  Result<bool, Error> commit(std::size_t n);
  // The peer closed before the head was complete.
  static Error end_of_input() { return Error::protocol(std::string(kHandshakeNotFinished)); }

  // The parsed head, once commit() has yielded true.
  const Message& message() const { return parser_.get(); }
  // The bytes received behind the head.
  std::string_view leftover() const {
    return {reinterpret_cast<const char*>(buffer_.data()), buffer_.size()};
  }

 private:
  InputBuffer buffer_;
  std::size_t reads_ = 0;
  std::size_t bytes_ = 0;
  boost::beast::http::parser<isRequest, boost::beast::http::empty_body> parser_;
};

extern template class HandshakeReader<true>;
extern template class HandshakeReader<false>;

// True when one of the comma- or space-separated tokens of the field values equals `token`,
// ignoring ASCII case.
bool has_token(const boost::beast::http::fields& fields, boost::beast::http::field name, std::string_view token);

}  // namespace tarnvale::websocket
