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

namespace {

// Length of the well-formed UTF-8 sequence that starts `text`, or 0.
std::size_t utf8_length(std::string_view text) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const auto cont = [&](std::size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) {
    return k < text.size() && b(k) >= lo && b(k) <= hi;
  };
  const unsigned lead = b(0);
  if (lead >= 0xC2 && lead <= 0xDF) return cont(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned lo = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned hi = lead == 0xED ? 0x9F : 0xBF;
    return cont(1, lo, hi) && cont(2) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned lo = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned hi = lead == 0xF4 ? 0x8F : 0xBF;
    return cont(1, lo, hi) && cont(2) && cont(3) ? 4 : 0;
  }
  return 0;
}

// The code point of one well-formed multi-byte sequence.
std::uint32_t decode(std::string_view seq) {
  std::uint32_t cp = static_cast<unsigned char>(seq[0]) & (0x7F >> seq.size());
  for (std::size_t k = 1; k < seq.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(seq[k]) & 0x3F);
  return cp;
}

// Non-ASCII characters written as escapes: controls, separators other than the space,
// format characters, private use and noncharacters.
bool is_printable(std::uint32_t cp) {
  struct Range {
    std::uint32_t first, last;
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
    // Non-ASCII characters that cannot be printed (C1 controls, invisible separators and
    // format characters, private use) are escaped too; other UTF-8 is copied unchanged.
    std::size_t len = 0;
    if (c >= 0xC2 && (len = utf8_length(text.substr(i))) > 1 && !is_printable(cp = decode(text.substr(i, len)))) {
      i += len - 1;
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
