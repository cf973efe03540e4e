#include "platform/io_error.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/utf8.hpp"

namespace tarnvale::platform {

namespace {

struct KnownCode {
  int code;
  std::string_view text;
};

// Fixed texts of the codes that socket, bind, listen and accept report, and of those that
// end a connection where the C library's own wording differs.
constexpr KnownCode kKnownTexts[] = {
    {EADDRINUSE, "Address in use"},
    {EADDRNOTAVAIL, "Address not available"},
    {EACCES, "Permission denied"},
    {EPERM, "Operation not permitted"},
    {EMFILE, "No file descriptors available"},
    {ENFILE, "Too many open files in system"},
    {ENOMEM, "Out of memory"},
    {ENOBUFS, "No buffer space available"},
    {ECONNABORTED, "Connection aborted"},
    {EPROTO, "Protocol error"},
    {EINTR, "Interrupted system call"},
    {EINVAL, "Invalid argument"},
    {ETIMEDOUT, "Operation timed out"},
    {EHOSTUNREACH, "Host is unreachable"},
    {ENETUNREACH, "Network unreachable"},
    {ENOTCONN, "Socket not connected"},
    {ENETRESET, "Connection reset by network"},
    {ESHUTDOWN, "Cannot send after socket shutdown"},
};

}  // namespace

std::string_view error_kind_name(int code) {
  switch (code) {
    case E2BIG: return "ArgumentListTooLong";
    case EADDRINUSE: return "AddrInUse";
    case EADDRNOTAVAIL: return "AddrNotAvailable";
    case EBUSY: return "ResourceBusy";
    case ECONNABORTED: return "ConnectionAborted";
    case ECONNREFUSED: return "ConnectionRefused";
    case ECONNRESET: return "ConnectionReset";
    case EDEADLK: return "Deadlock";
    case EDQUOT: return "QuotaExceeded";
    case EEXIST: return "AlreadyExists";
    case EFBIG: return "FileTooLarge";
    case EHOSTUNREACH: return "HostUnreachable";
    case EINTR: return "Interrupted";
    case EINVAL: return "InvalidInput";
    case EISDIR: return "IsADirectory";
    case ELOOP: return "FilesystemLoop";
    case ENOENT: return "NotFound";
    case ENOMEM: return "OutOfMemory";
    case ENOSPC: return "StorageFull";
    case ENOSYS: return "Unsupported";
    case EMLINK: return "TooManyLinks";
    case ENAMETOOLONG: return "InvalidFilename";
    case ENETDOWN: return "NetworkDown";
    case ENETUNREACH: return "NetworkUnreachable";
    case ENOTCONN: return "NotConnected";
    case ENOTDIR: return "NotADirectory";
    case ENOTEMPTY: return "DirectoryNotEmpty";
    case EPIPE: return "BrokenPipe";
    case EROFS: return "ReadOnlyFilesystem";
    case ESPIPE: return "NotSeekable";
    case ESTALE: return "StaleNetworkFileHandle";
    case ETIMEDOUT: return "TimedOut";
    case ETXTBSY: return "ExecutableFileBusy";
    case EXDEV: return "CrossesDevices";
    case EINPROGRESS: return "InProgress";
    case EACCES:
    case EPERM: return "PermissionDenied";
    case EAGAIN: return "WouldBlock";
    case EMFILE:
    case ENFILE: return "TooManyOpenFiles";
    default: return "Uncategorized";
  }
}

std::string error_text(int code) {
  for (const auto& known : kKnownTexts) {
    if (known.code == code) return std::string(known.text);
  }
  char buf[256];
  // GNU strerror_r returns the text, which may or may not live in buf.
  const char* text = strerror_r(code, buf, sizeof buf);
  return std::string(text);
}

IoError IoError::from_code(int code) {
  IoError e;
  e.code_ = code;
  e.kind_ = std::string(error_kind_name(code));
  return e;
}

IoError IoError::custom(std::string_view kind, std::string debug) {
  IoError e;
  e.kind_ = std::string(kind);
  e.custom_ = std::move(debug);
  return e;
}

std::string IoError::debug() const {
  if (is_os()) {
    return "Os { code: " + std::to_string(code_) + ", kind: " + kind_ +
           ", message: " + debug_quote(error_text(code_)) + " }";
  }
  return "Custom { kind: " + kind_ + ", error: " + custom_ + " }";
}

std::string IoError::display() const {
  if (is_os()) return error_text(code_) + " (os error " + std::to_string(code_) + ")";
  return custom_;
}

namespace {

// Non-ASCII characters written as escapes: controls, separators other than the space,
// format characters, private use and noncharacters.
bool is_printable(char32_t cp) {
  struct Range {
    char32_t first, last;
  };
  static constexpr Range kHidden[] = {
      {0x80, 0xA0},       {0xAD, 0xAD},       {0x600, 0x605},     {0x61C, 0x61C},     {0x6DD, 0x6DD},
      {0x70F, 0x70F},     {0x890, 0x891},     {0x8E2, 0x8E2},     {0x1680, 0x1680},   {0x180E, 0x180E},
      {0x2000, 0x200F},   {0x2028, 0x202F},   {0x205F, 0x2064},   {0x2066, 0x206F},   {0x3000, 0x3000},
      {0xE000, 0xF8FF},   {0xFDD0, 0xFDEF},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
      {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
      {0xE0020, 0xE007F}, {0xF0000, 0x10FFFF},
  };
  if ((cp & 0xFFFE) == 0xFFFE) return false;
  for (const auto& range : kHidden) {
    if (cp < range.first) return true;
    if (cp <= range.last) return false;
  }
  return true;
}

}  // namespace

std::string debug_quote(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const char32_t c = decode_utf8(text, pos);
    switch (c) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\t': out += "\\t"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\0': out += "\\0"; continue;
      default: break;
    }
    if (c == kReplacementCharacter) {
      // Also what an ill-formed sequence decodes as: the output stays valid UTF-8.
      out += "\xEF\xBF\xBD";
      continue;
    }
    if (c < 0x80 ? c >= 0x20 && c != 0x7F : is_printable(c)) {
      out.append(text, start, pos - start);
      continue;
    }
    out += "\\u{";
    bool started = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
      const unsigned digit = (c >> shift) & 0xF;
      if (digit == 0 && !started && shift != 0) continue;
      started = true;
      out.push_back(kHex[digit]);
    }
    out.push_back('}');
  }
  out.push_back('"');
  return out;
}

}  // namespace tarnvale::platform
