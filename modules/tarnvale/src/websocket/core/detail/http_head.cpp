#include "websocket/core/detail/http_head.hpp"

#include <algorithm>

namespace tarnvale::websocket {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// tchar: the characters of a method or a field name.
bool is_token_char(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c)) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// VCHAR or obs-text: any byte but the controls, space and DEL.
bool is_visible(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte > 0x20 && byte != 0x7F;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

unexpected<Error> bad(const char* detail) { return unexpected(Error::http_format(detail)); }

// Length of the run of `text` from `at` whose characters pass `accept`.
template <class Accept>
std::size_t run_of(std::string_view text, std::size_t at, Accept accept) {
  std::size_t end = at;
  while (end < text.size() && accept(text[end])) ++end;
  return end - at;
}

// "HTTP/1.0" or "HTTP/1.1" at the start of `text`: the version, none while a prefix of one
// is all there is and more may come, 0 when it is no such version.
std::optional<int> http_version(std::string_view text, bool more_may_come) {
  constexpr std::string_view kPattern = "HTTP/0.0";  // '0' stands for a digit
  for (std::size_t i = 0; i < kPattern.size(); ++i) {
    if (i == text.size()) return more_may_come ? std::nullopt : std::optional<int>(0);
    const bool fits = kPattern[i] == '0' ? is_digit(text[i]) : text[i] == kPattern[i];
    if (!fits) return 0;
  }
  const int version = (text[5] - '0') * 10 + (text[7] - '0');
  return version == 10 || version == 11 ? version : 0;
}

}  // namespace

Result<std::optional<RequestLine>, Error> parse_request_line(std::string_view line, bool complete) {
  using Parsed = std::optional<RequestLine>;
  // method SP request-target SP HTTP-version
  RequestLine request;
  std::size_t at = 0;
  const std::size_t method = run_of(line, at, is_token_char);
  at += method;
  if (at == line.size()) return complete ? Result<Parsed, Error>(bad("bad method")) : Parsed();
  if (method == 0 || line[at] != ' ') return bad("bad method");
  request.method = line.substr(0, method);
  const std::size_t target = run_of(line, ++at, is_visible);
  at += target;
  if (at == line.size()) return complete ? Result<Parsed, Error>(bad("bad target")) : Parsed();
  if (target == 0 || line[at] != ' ') return bad("bad target");
  request.target = line.substr(at - target, target);
  const std::string_view rest = line.substr(at + 1);
  const auto version = http_version(rest, !complete);
  if (!version) return Parsed();
  if (*version == 0 || rest.size() > 8) return bad("bad version");
  if (!complete) return Parsed();
  request.version = *version;
  return Parsed(request);
}

Result<std::optional<StatusLine>, Error> parse_status_line(std::string_view line, bool complete) {
  using Parsed = std::optional<StatusLine>;
  // HTTP-version SP status-code SP reason-phrase
  StatusLine status;
  const auto version = http_version(line, !complete);
  if (!version) return Parsed();
  if (*version == 0) return bad("bad version");
  status.version = *version;
  if (line.size() == 8) return complete ? Result<Parsed, Error>(bad("bad version")) : Parsed();
  if (line[8] != ' ') return bad("bad version");
  const std::string_view code = line.substr(9, 4);
  for (std::size_t i = 0; i < code.size(); ++i) {
    if (i < 3 ? !is_digit(code[i]) : code[i] != ' ') return bad("bad status");
  }
  if (code.size() < 4) return complete ? Result<Parsed, Error>(bad("bad status")) : Parsed();
  status.status = static_cast<unsigned>((code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0'));
  status.reason = line.substr(13);
  if (run_of(status.reason, 0, [](char c) { return is_visible(c) || is_blank(c); }) != status.reason.size()) {
    return bad("bad reason");
  }
  if (!complete) return Parsed();
  return Parsed(status);
}

Result<FieldLine, Error> parse_field_line(std::string_view line) {
  // field-name ":" OWS field-value OWS, with no white space before the colon
  if (!line.empty() && is_blank(line.front())) return bad("obsolete line folding");
  const std::size_t name = run_of(line, 0, is_token_char);
  if (name == 0 || name == line.size() || line[name] != ':') return bad("bad field");
  std::string_view value = line.substr(name + 1);
  while (!value.empty() && is_blank(value.front())) value.remove_prefix(1);
  while (!value.empty() && is_blank(value.back())) value.remove_suffix(1);
  if (run_of(value, 0, [](char c) { return is_visible(c) || is_blank(c); }) != value.size()) return bad("bad value");
  return FieldLine{line.substr(0, name), value};
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool has_token(std::string_view value, std::string_view token) {
  constexpr std::string_view kSeparators = ", \t";
  while (!value.empty()) {
    const std::size_t end = std::min(value.find_first_of(kSeparators), value.size());
    if (equals_ignoring_case(value.substr(0, end), token)) return true;
    value.remove_prefix(std::min(end + 1, value.size()));
  }
  return false;
}

}  // namespace tarnvale::websocket
