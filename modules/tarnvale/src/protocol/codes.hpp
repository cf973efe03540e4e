// Every error code of the wire format with its fixed message, and every close frame the
// service starts with its code and reason. Replies, updates and closes name these only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnvale::protocol {

// Codes of the decoder's refusals; their messages say what the decoder found.
inline constexpr std::string_view kInvalidMessage = "invalid_message";
inline constexpr std::string_view kUnsupportedMessageType = "unsupported_message_type";
inline constexpr std::string_view kInvalidPath = "invalid_path";

// An error whose message does not depend on the request.
struct FixedError {
  std::string_view code;
  std::string_view message;
};

inline constexpr FixedError kDataNotReady{"data_not_ready", "the first complete system sample is not available"};
inline constexpr FixedError kSubscriptionLimit{"subscription_limit",
                                               "the connection has reached its subscription limit"};

// A path that is not in the tree, in replies and pushed updates alike.
inline constexpr std::string_view kPathNotFound = "path_not_found";
// "path '<path>' does not exist".
std::string path_not_found_message(std::string_view path);

// A close frame that the service itself sends.
struct CloseFrame {
  std::uint16_t code;
  std::string_view reason;
};

inline constexpr CloseFrame kCloseNoUsableUuid{1002, "invalid request without a usable UUID"};
inline constexpr CloseFrame kCloseBinaryMessage{1003, "tarnvale accepts JSON text messages only"};
inline constexpr CloseFrame kCloseLagged{1008, "client could not keep up with system updates"};

}  // namespace tarnvale::protocol
