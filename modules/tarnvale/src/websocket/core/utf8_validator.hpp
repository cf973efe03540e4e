// Incremental UTF-8 validation: a text arrives in pieces (fragments, partial reads) and is
// checked piece by piece, so an invalid byte fails the message as soon as it arrives.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/result.hpp"
#include "websocket/core/error.hpp"

namespace tarnvale::websocket {

class Utf8Validator {
 public:
  // Checks the next bytes of the text. The error names the first invalid sequence by its
  // length and its index in the whole text.
  Result<void, Error> feed(std::string_view bytes);
  // The text has ended: a sequence left unfinished is an error.
  Result<void, Error> finish() const;
  // Ready for a new text.
  void reset() { *this = Utf8Validator(); }

 private:
  std::uint64_t offset_ = 0;     // bytes fed before the current piece
  std::uint64_t seq_start_ = 0;  // index of the lead byte of the unfinished sequence
  unsigned need_ = 0;            // continuation bytes still missing
  unsigned seen_ = 0;            // bytes of the unfinished sequence seen so far
  unsigned char lo_ = 0x80;      // range of the next continuation byte, which excludes
  unsigned char hi_ = 0xBF;      // overlong forms, surrogates and code points above U+10FFFF
};

}  // namespace tarnvale::websocket
