// Client requests: the kinds, one decoded request, why a text was refused, and the decoder
// that turns the text of one client message into a request.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/result.hpp"
#include "protocol/codes.hpp"
#include "protocol/system_path.hpp"

namespace tarnvale::protocol {

// In this order; each stands for the request "type" of its name in UpperCamelCase
// ("GetSchema", "GetValue", "SubscribeValue", "UnsubscribeValue").
enum class RequestKind { get_schema, get_value, subscribe_value, unsubscribe_value };

struct ClientRequest {
  // The "uuid" text exactly as received (after JSON unescaping), never re-formatted.
  std::string uuid;
  SystemPath path;
  RequestKind kind;

  friend bool operator==(const ClientRequest&, const ClientRequest&) = default;
};

struct RequestDecodeError {
  // kInvalidMessage, kUnsupportedMessageType or kInvalidPath.
  std::string_view code;
  std::string message;
  // The request's "uuid" text when it had a usable one; only then can it be answered.
  std::optional<std::string> uuid;

  friend bool operator==(const RequestDecodeError&, const RequestDecodeError&) = default;
};

// Decodes one request: the JSON text, its "uuid", the envelope {"uuid","type","body"},
// the type and the body's path, refusing at the first step that fails.
Result<ClientRequest, RequestDecodeError> decode_request(std::string_view text);

}  // namespace tarnvale::protocol
