#include "platform/io_error.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace tarnvale::platform {

namespace {

struct KnownCode {
  int code;
  std::string_view text;
};

// Fixed texts of the codes that socket, bind, listen and accept report.
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
    case EDQUOT: return "FilesystemQuotaExceeded";
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

std::string debug_quote(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::uint32_t cp = c;
    switch (c) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\t': out += "\\t"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\0': out += "\\0"; continue;
      default: break;
    }
    // C1 control characters (U+0080 to U+009F) arrive as 0xC2 0x80..0x9F.
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      cp = (static_cast<unsigned char>(text[i + 1]) & 0x3F) | 0x80;
      ++i;
    } else if (c >= 0x20 && c != 0x7F) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    out += "\\u{";
    bool started = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
      const unsigned digit = (cp >> shift) & 0xF;
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
