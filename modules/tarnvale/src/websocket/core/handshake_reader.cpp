// GCC 12 reports Beast's parser as reading an uninitialised boost::optional (a false
// positive of its inlined content-length code).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "websocket/core/handshake_reader.hpp"

#include <boost/asio/buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>

namespace tarnvale::websocket {

namespace http = boost::beast::http;

template <bool isRequest>
HandshakeReader<isRequest>::HandshakeReader() {
  parser_.header_limit(static_cast<std::uint32_t>(kMaxBytes));
}

template <bool isRequest>
std::span<unsigned char> HandshakeReader<isRequest>::read_space() {
  return buffer_.prepare(kMaxReadSize).first(kMaxReadSize);
}

template <bool isRequest>
Result<bool, Error> HandshakeReader<isRequest>::commit(std::size_t n) {
  buffer_.commit(n);
  ++reads_;
  bytes_ += n;
  if (bytes_ > kMaxBytes || reads_ > kMaxReads ||
      (reads_ > kReadsBeforeRateCheck && bytes_ < kMinBytesPerRead * reads_)) {
    return unexpected(Error::attack_attempt());
  }
  boost::beast::error_code ec;
  const std::size_t used = parser_.put(boost::asio::const_buffer(buffer_.data(), buffer_.size()), ec);
  buffer_.consume(used);
  if (ec == http::error::need_more) return false;
  if (ec) return unexpected(Error::http_format(ec.message()));
  return parser_.is_header_done();
}

template class HandshakeReader<true>;
template class HandshakeReader<false>;

bool has_token(const http::fields& fields, http::field name, std::string_view token) {
  auto [first, last] = fields.equal_range(name);
  for (auto it = first; it != last; ++it) {
    const std::string_view value = it->value();
    std::size_t i = 0;
    while (i < value.size()) {
      const std::size_t end = value.find_first_of(", \t", i);
      const std::string_view item = value.substr(i, end == std::string_view::npos ? end : end - i);
      if (boost::beast::iequals(item, token)) return true;
      if (end == std::string_view::npos) break;
      i = end + 1;
    }
  }
  return false;
}

}  // namespace tarnvale::websocket
