// The I/O error record with which the listener and the main task complete, and its
// "Error: " rendering: the system error form or the wrapped (custom) form.
#pragma once

#include <string>
#include <string_view>

namespace tarnvale::platform {

// The kind name of a system error code ("AddrInUse", "TooManyOpenFiles", …; "Uncategorized"
// for a code without a kind of its own).
std::string_view error_kind_name(int code);
// The text of a system error code. The codes that the service reports carry fixed texts
// ("Address in use" for 98); any other code takes the C library's text.
std::string error_text(int code);

class IoError {
 public:
  // A failed system call's errno.
  static IoError from_code(int code);
  // Another error wrapped with a kind; `debug` is the wrapped error's debug rendering.
  static IoError custom(std::string_view kind, std::string debug);

  bool is_os() const { return code_ != 0; }
  int code() const { return code_; }
  std::string_view kind() const { return kind_; }

  // Os { code: 98, kind: AddrInUse, message: "Address in use" }, or
  // Custom { kind: Other, error: <wrapped debug rendering> }.
  std::string debug() const;
  // The system error's text with " (os error N)", or the wrapped error's rendering.
  std::string display() const;

 private:
  int code_ = 0;
  std::string kind_;
  std::string custom_;
};

// `text` in double quotes, with `"`, `\` and control characters escaped as in the
// platform's debug output (\t \n \r \0, \u{1b} for other control characters); characters
// that cannot be printed (invisible separators, format characters, private use) are
// escaped the same way, as \u{a0}.
std::string debug_quote(std::string_view text);

}  // namespace tarnvale::platform
