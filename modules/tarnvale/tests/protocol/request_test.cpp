#include "protocol/request.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tarnvale::protocol {
namespace {

constexpr std::string_view kUuid = "6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12";

// A request with the given raw JSON for "type" and "body", and a valid "uuid".
std::string request(std::string_view type, std::string_view body) {
  return std::string(R"({"uuid":")") + std::string(kUuid) + R"(","type":)" + std::string(type) +
         R"(,"body":)" + std::string(body) + "}";
}

std::string envelope(std::string_view text) { return "request envelope is invalid: " + std::string(text); }

TEST(DecodeRequestTest, RefusalsCarryCodeMessageAndUuidOnlyWhenUsable) {
  constexpr std::string_view kNoUuid = "request must contain a valid UUID string";
  const std::string uuid = std::string(R"({"uuid":")");
  struct Case {
    std::string text;
    std::string_view code;
    std::string message;
    bool has_uuid;
  } cases[] = {
      // Not JSON.
      {"", kInvalidMessage, "request is not valid JSON: EOF while parsing a value at line 1 column 0", false},
      {"hello", kInvalidMessage, "request is not valid JSON: expected value at line 1 column 1", false},
      {"{", kInvalidMessage, "request is not valid JSON: EOF while parsing an object at line 1 column 1", false},
      {"{}x", kInvalidMessage, "request is not valid JSON: trailing characters at line 1 column 3", false},
      {request(R"("GetValue")", R"({"path":"system"})") + "{}", kInvalidMessage,
       "request is not valid JSON: trailing characters at line 1 column 91", false},
      // No usable uuid.
      {"[]", kInvalidMessage, std::string(kNoUuid), false},
      {R"("6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12")", kInvalidMessage, std::string(kNoUuid), false},
      {"{}", kInvalidMessage, std::string(kNoUuid), false},
      {R"({"uuid":5,"type":"GetValue","body":["system"]})", kInvalidMessage, std::string(kNoUuid), false},
      {R"({"uuid":null})", kInvalidMessage, std::string(kNoUuid), false},
      {uuid + "6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b1\"}", kInvalidMessage, std::string(kNoUuid), false},
      {uuid + "6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b123\"}", kInvalidMessage, std::string(kNoUuid), false},
      {uuid + " 6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12\"}", kInvalidMessage, std::string(kNoUuid), false},
      {uuid + "6f1c2a9e3b7d-4e21-9c55-0a8d7e3f4b12-\"}", kInvalidMessage, std::string(kNoUuid), false},
      {uuid + "6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b1g\"}", kInvalidMessage, std::string(kNoUuid), false},
      {uuid + "URN:UUID:6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12\"}", kInvalidMessage, std::string(kNoUuid), false},
      {uuid + "urn:Uuid:6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12\"}", kInvalidMessage, std::string(kNoUuid), false},
      {uuid + "{6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12)\"}", kInvalidMessage, std::string(kNoUuid), false},
      {R"({"uuid":"bad","type":5,"zz":1})", kInvalidMessage, std::string(kNoUuid), false},
      {R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","uuid":"x","type":"GetValue","body":["system"]})",
       kInvalidMessage, std::string(kNoUuid), false},
      // Envelope: found values.
      {request("5", R"(["system"])"), kInvalidMessage, envelope("invalid type: integer `5`, expected a string"), true},
      {request("-5", R"(["system"])"), kInvalidMessage, envelope("invalid type: integer `-5`, expected a string"), true},
      {request("1e16", "[\"system\"]"), kInvalidMessage,
       envelope("invalid type: floating point `10000000000000000.0`, expected a string"), true},
      {request("-0", "[\"system\"]"), kInvalidMessage,
       envelope("invalid type: floating point `-0.0`, expected a string"), true},
      {request("12.5", "[\"system\"]"), kInvalidMessage,
       envelope("invalid type: floating point `12.5`, expected a string"), true},
      {request("1.5e-7", "[\"system\"]"), kInvalidMessage,
       envelope("invalid type: floating point `0.00000015`, expected a string"), true},
      {request("18446744073709551616", "[\"system\"]"), kInvalidMessage,
       envelope("invalid type: floating point `18446744073709552000.0`, expected a string"), true},
      {request("true", "[\"system\"]"), kInvalidMessage, envelope("invalid type: boolean `true`, expected a string"),
       true},
      {request("null", "[\"system\"]"), kInvalidMessage, envelope("invalid type: null, expected a string"), true},
      {request("[]", "[\"system\"]"), kInvalidMessage, envelope("invalid type: sequence, expected a string"), true},
      {request("{}", "[\"system\"]"), kInvalidMessage, envelope("invalid type: map, expected a string"), true},
      {request(R"("GetValue")", "null"), kInvalidMessage, envelope("invalid type: null, expected struct PathBody"),
       true},
      {request(R"("GetValue")", "7"), kInvalidMessage,
       envelope("invalid type: integer `7`, expected struct PathBody"), true},
      {request(R"("GetValue")", R"("it's \"a\" \\ \t\n\r\u0000\u001b\u007f\u0085")"), kInvalidMessage,
       envelope(R"(invalid type: string "it's \"a\" \\ \t\n\r\0\u{1b}\u{7f}\u{85}", expected struct PathBody)"), true},
      {request(R"("GetValue")", "\"\u00fc \u00a0\u200b\ue000\""), kInvalidMessage,
       envelope("invalid type: string \"\u00fc \\u{a0}\\u{200b}\\u{e000}\", expected struct PathBody"), true},
      // Envelope: body.
      {request(R"("GetValue")", R"({"path":"system","extra":1})"), kInvalidMessage,
       envelope("unknown field `extra`, expected `path`"), true},
      {request(R"("GetValue")", R"({"Path":"system"})"), kInvalidMessage,
       envelope("unknown field `Path`, expected `path`"), true},
      {request(R"("GetValue")", "{}"), kInvalidMessage, envelope("missing field `path`"), true},
      {request(R"("GetValue")", R"({"path":["system"]})"), kInvalidMessage,
       envelope("invalid type: sequence, expected a string"), true},
      {request(R"("GetValue")", "[]"), kInvalidMessage,
       envelope("invalid length 0, expected struct PathBody with 1 element"), true},
      {request(R"("GetValue")", R"(["system","system"])"), kInvalidMessage,
       envelope("invalid length 2, expected fewer elements in array"), true},
      {request(R"("GetValue")", R"([5,"system"])"), kInvalidMessage,
       envelope("invalid type: integer `5`, expected a string"), true},
      // Envelope: members in key order, missing ones last.
      {R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValue","body":null,"Type":1})", kInvalidMessage,
       envelope("unknown field `Type`, expected one of `uuid`, `type`, `body`"), true},
      {R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValue","body":null,"zz":1})", kInvalidMessage,
       envelope("invalid type: null, expected struct PathBody"), true},
      {R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":5,"body":["system"],"zz":1})", kInvalidMessage,
       envelope("invalid type: integer `5`, expected a string"), true},
      {R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValue","body":["system"],"zz":1})",
       kInvalidMessage, envelope("unknown field `zz`, expected one of `uuid`, `type`, `body`"), true},
      {R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","a\"b":1,"type":"GetValue","body":["system"]})",
       kInvalidMessage, envelope("unknown field `a\"b`, expected one of `uuid`, `type`, `body`"), true},
      {R"({"UUID":"x","uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValue","body":["system"]})",
       kInvalidMessage, envelope("unknown field `UUID`, expected one of `uuid`, `type`, `body`"), true},
      {R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValue","body":5})", kInvalidMessage,
       envelope("invalid type: integer `5`, expected struct PathBody"), true},
      {R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValue","body":null})", kInvalidMessage,
       envelope("invalid type: null, expected struct PathBody"), true},
      {R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","body":[]})", kInvalidMessage,
       envelope("invalid length 0, expected struct PathBody with 1 element"), true},
      {R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12"})", kInvalidMessage, envelope("missing field `type`"), true},
      {R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":5})", kInvalidMessage,
       envelope("invalid type: integer `5`, expected a string"), true},
      {R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValue"})", kInvalidMessage,
       envelope("missing field `body`"), true},
      // Type, then path.
      {request(R"("getvalue")", R"(["system"])"), kUnsupportedMessageType, "unsupported message type 'getvalue'", true},
      {request(R"("GetValueResponse")", R"(["system"])"), kUnsupportedMessageType,
       "unsupported message type 'GetValueResponse'", true},
      {request(R"("")", R"([""])"), kUnsupportedMessageType, "unsupported message type ''", true},
      {request(R"("Get\"Value\t")", R"(["system"])"), kUnsupportedMessageType,
       "unsupported message type 'Get\"Value\t'", true},
      {request(R"("GetValue")", R"({"path":"system."})"), kInvalidPath, "path segments must not be empty", true},
      {request(R"("UnsubscribeValue")", R"(["system."])"), kInvalidPath, "path segments must not be empty", true},
      {request(R"("GetSchema")", R"([""])"), kInvalidPath, "path must not be empty", true},
      {request(R"("SubscribeValue")", R"(["System"])"), kInvalidPath, "path must be 'system' or start with 'system.'",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto result = decode_request(c.text);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, c.code);
    EXPECT_EQ(result.error().message, c.message);
    EXPECT_EQ(result.error().uuid, c.has_uuid ? std::optional<std::string>(kUuid) : std::nullopt);
  }
}

TEST(DecodeRequestTest, AcceptedRequestKeepsUuidTextKindAndPath) {
  struct Case {
    std::string text;
    std::string uuid;
    RequestKind kind;
    std::string path;
  } cases[] = {
      {request(R"("GetValue")", R"({"path":"system"})"), std::string(kUuid), RequestKind::get_value, "system"},
      {request(R"("GetValue")", R"(["system"])"), std::string(kUuid), RequestKind::get_value, "system"},
      {" \n" + request(R"("GetSchema")", R"( [ "system.cpu.all" ] )") + "\r\n", std::string(kUuid),
       RequestKind::get_schema, "system.cpu.all"},
      {R"({"body":{"path":"system.Memory"},"type":"SubscribeValue","uuid":"6F1C2A9E-3B7D-4E21-9C55-0A8D7E3F4B12"})",
       "6F1C2A9E-3B7D-4E21-9C55-0A8D7E3F4B12", RequestKind::subscribe_value, "system.Memory"},
      {R"({"uuid":"{6f1c2a9e-3B7D-4e21-9c55-0a8d7e3f4b12}","type":"UnsubscribeValue","body":["system.-"]})",
       "{6f1c2a9e-3B7D-4e21-9c55-0a8d7e3f4b12}", RequestKind::unsubscribe_value, "system.-"},
      {R"({"uuid":"urn:uuid:00000000-0000-0000-0000-000000000000","type":"GetValue","body":["system"]})",
       "urn:uuid:00000000-0000-0000-0000-000000000000", RequestKind::get_value, "system"},
      {R"({"uuid":"6f1c2a9e3b7d4e219c550a8d7e3f4b12","type":"GetValue","body":["system"]})",
       "6f1c2a9e3b7d4e219c550a8d7e3f4b12", RequestKind::get_value, "system"},
      {R"({"uuid":"\u0036f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"Get\u0056alue","body":{"p\u0061th":"system"}})",
       std::string(kUuid), RequestKind::get_value, "system"},
      {R"({"uuid":"x","uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValue","body":["system"]})",
       std::string(kUuid), RequestKind::get_value, "system"},
      {R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":5,"type":"GetValue","body":[1],"body":["system"]})",
       std::string(kUuid), RequestKind::get_value, "system"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto result = decode_request(c.text);
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(result->uuid, c.uuid);
    EXPECT_EQ(result->kind, c.kind);
    EXPECT_EQ(result->path.text(), c.path);
  }
}

}  // namespace
}  // namespace tarnvale::protocol
