// The lines of an HTTP/1.1 message head (RFC 9112), each given without its CRLF: the request
// line, the status line and a field line, and the token lists that the opening handshake
// looks into. A refusal is an "HTTP format error" whose detail names the part at fault
// ("bad method", "bad field", …).
#pragma once

#include <optional>
#include <string_view>

#include "platform/result.hpp"
#include "websocket/core/error.hpp"

namespace tarnvale::websocket {

struct RequestLine {
  std::string_view method;
  std::string_view target;
  int version = 0;  // 10 for HTTP/1.0, 11 for HTTP/1.1
};

struct StatusLine {
  int version = 0;
  unsigned status = 0;
  std::string_view reason;
};

struct FieldLine {
  std::string_view name;
  std::string_view value;  // without the white space around it
};

// The whole line when `complete`; otherwise the start of a line still arriving, which yields
// none while it can still become a valid line, so that a peer that does not speak HTTP is
// refused before it has sent a line end.
Result<std::optional<RequestLine>, Error> parse_request_line(std::string_view line, bool complete);
Result<std::optional<StatusLine>, Error> parse_status_line(std::string_view line, bool complete);
// One "name: value" line. A line that begins with white space (obsolete line folding, or
// white space before the first field) is refused.
Result<FieldLine, Error> parse_field_line(std::string_view line);

// True when one of the comma-, space- or tab-separated tokens of `value` equals `token`,
// ignoring ASCII case.
bool has_token(std::string_view value, std::string_view token);
bool equals_ignoring_case(std::string_view a, std::string_view b);

}  // namespace tarnvale::websocket
