#include "protocol/request.hpp"

#include <cstddef>
#include <optional>
#include <utility>
#include <variant>

#include "json/event_reader.hpp"
#include "json/string_span.hpp"
#include "json/writer.hpp"
#include "platform/io_error.hpp"
#include "protocol/uuid.hpp"

namespace tarnvale::protocol {

namespace {

struct KindName {
  std::string_view type;
  RequestKind kind;
};

constexpr KindName kKinds[] = {
    {"GetSchema", RequestKind::get_schema},
    {"GetValue", RequestKind::get_value},
    {"SubscribeValue", RequestKind::subscribe_value},
    {"UnsubscribeValue", RequestKind::unsubscribe_value},
};

constexpr std::string_view kUuidKey = "uuid";
constexpr std::string_view kTypeKey = "type";
constexpr std::string_view kBodyKey = "body";
constexpr std::string_view kPathKey = "path";

// A value as far as decoding looks at it: the value itself when it holds no other value,
// only its kind otherwise. Strings stay in the request text.
struct Seen {
  enum class Kind : unsigned char { absent, scalar, array, object };
  Kind kind = Kind::absent;
  json::Scalar scalar;

  bool present() const { return kind != Kind::absent; }
  const json::StringSpan* string() const {
    return kind == Kind::scalar ? std::get_if<json::StringSpan>(&scalar) : nullptr;
  }
};

// What decoding keeps of a request body: the value, and what is needed of its members.
struct BodySeen {
  Seen value;
  // An array's length and first element.
  std::size_t count = 0;
  Seen first;
  // An object's last "path" member and the smallest of its other keys.
  Seen path;
  std::optional<json::StringSpan> unknown;
};

bool sorts_before(json::StringSpan key, std::string_view name) { return json::compare(key, {name}) < 0; }

void keep_smallest(std::optional<json::StringSpan>& smallest, json::StringSpan key) {
  if (!smallest || json::compare(key, *smallest) < 0) smallest = key;
}

// Keeps, from the reader's events, what the envelope is judged by: the kinds of the
// top-level members, the last of each (with its text where it is a string), the smallest
// refused key, and the same of the body one level down. Every other value is only read.
class EnvelopeSink {
 public:
  void begin_array() { open(Seen::Kind::array); }
  void begin_object() { open(Seen::Kind::object); }
  void key(json::StringSpan key) {
    if (!request_object) return;
    if (depth_ == 1) {
      if (json::equals(key, kUuidKey)) {
        member_ = Member::uuid;
      } else if (json::equals(key, kTypeKey)) {
        member_ = Member::type;
      } else if (json::equals(key, kBodyKey)) {
        member_ = Member::body;
      } else {
        member_ = Member::other;
        keep_smallest(unknown, key);
      }
    } else if (depth_ == 2 && in_body() && body.value.kind == Seen::Kind::object) {
      body_member_is_path_ = json::equals(key, kPathKey);
      if (!body_member_is_path_) keep_smallest(body.unknown, key);
    }
  }
  void scalar(const json::Scalar& value) { see(Seen{Seen::Kind::scalar, value}); }
  void end() { --depth_; }

  // The top-level value was an object.
  bool request_object = false;
  Seen uuid;
  Seen type;
  BodySeen body;
  std::optional<json::StringSpan> unknown;

 private:
  enum class Member : unsigned char { uuid, type, body, other };

  bool in_body() const { return member_ == Member::body; }

  void open(Seen::Kind kind) {
    see(Seen{kind, {}});
    ++depth_;
  }

  // A value begins, inside depth_ containers.
  void see(const Seen& value) {
    if (depth_ == 0) {
      request_object = value.kind == Seen::Kind::object;
      return;
    }
    if (!request_object) return;
    if (depth_ == 1) {
      switch (member_) {
        case Member::uuid: uuid = value; break;
        case Member::type: type = value; break;
        case Member::body:
          body = BodySeen();
          body.value = value;
          break;
        case Member::other: break;
      }
    } else if (depth_ == 2 && in_body()) {
      if (body.value.kind == Seen::Kind::array) {
        if (body.count++ == 0) body.first = value;
      } else if (body_member_is_path_) {
        body.path = value;
      }
    }
  }

  std::size_t depth_ = 0;
  Member member_ = Member::other;
  bool body_member_is_path_ = false;
};

// How an envelope error names the value it found.
std::string describe(const Seen& value) {
  if (value.kind == Seen::Kind::array) return "sequence";
  if (value.kind == Seen::Kind::object) return "map";
  std::string out;
  std::visit(
      [&out](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::nullptr_t>) {
          out = "null";
        } else if constexpr (std::is_same_v<T, bool>) {
          out = v ? "boolean `true`" : "boolean `false`";
        } else if constexpr (std::is_same_v<T, std::uint64_t>) {
          out = "integer `";
          json::write_uint(out, v);
          out.push_back('`');
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          out = "integer `";
          json::write_int(out, v);
          out.push_back('`');
        } else if constexpr (std::is_same_v<T, double>) {
          out = "floating point `";
          json::write_plain_double(out, v);
          out.push_back('`');
        } else {
          out = "string " + platform::debug_quote(json::unescape(v));
        }
      },
      value.scalar);
  return out;
}

std::string invalid_type(const Seen& found, std::string_view expected) {
  std::string out = "invalid type: " + describe(found) + ", expected ";
  out.append(expected);
  return out;
}

std::string unknown_field(json::StringSpan key, std::string_view expected) {
  std::string out = "unknown field `";
  json::append_unescaped(out, key);
  out += "`, expected ";
  out.append(expected);
  return out;
}

// The path text of the request body, {"path": "…"} or ["…"]: members in key order, the
// first refused one deciding; then a missing "path".
Result<json::StringSpan, std::string> decode_path_body(const BodySeen& body) {
  constexpr std::string_view kExpectedPath = "`path`";
  if (body.value.kind == Seen::Kind::object) {
    if (body.unknown && sorts_before(*body.unknown, kPathKey)) return unexpected(unknown_field(*body.unknown, kExpectedPath));
    const json::StringSpan* path = body.path.string();
    if (body.path.present() && path == nullptr) return unexpected(invalid_type(body.path, "a string"));
    if (body.unknown) return unexpected(unknown_field(*body.unknown, kExpectedPath));
    if (path == nullptr) return unexpected(std::string("missing field `path`"));
    return *path;
  }
  if (body.value.kind == Seen::Kind::array) {
    if (body.count == 0) return unexpected(std::string("invalid length 0, expected struct PathBody with 1 element"));
    const json::StringSpan* path = body.first.string();
    if (path == nullptr) return unexpected(invalid_type(body.first, "a string"));
    if (body.count > 1) {
      return unexpected("invalid length " + std::to_string(body.count) + ", expected fewer elements in array");
    }
    return *path;
  }
  return unexpected(invalid_type(body.value, "struct PathBody"));
}

}  // namespace

Result<ClientRequest, RequestDecodeError> decode_request(std::string_view text) {
  // The whole text is read before the envelope is judged: a syntax error anywhere comes first.
  EnvelopeSink seen;
  if (auto read = json::read_events(text, seen); !read) {
    return unexpected(
        RequestDecodeError{kInvalidMessage, "request is not valid JSON: " + read.error().message(), std::nullopt});
  }

  // A text longer than the longest form is no UUID, whatever follows: no more is unescaped.
  const json::StringSpan* uuid_string = seen.request_object ? seen.uuid.string() : nullptr;
  std::string uuid;
  if (uuid_string != nullptr) uuid = json::unescape(*uuid_string, kMaxUuidTextSize + 1);
  if (uuid_string == nullptr || !is_uuid_text(uuid)) {
    return unexpected(RequestDecodeError{kInvalidMessage, "request must contain a valid UUID string", std::nullopt});
  }
  auto refuse = [&](std::string_view code, std::string message) {
    return unexpected(RequestDecodeError{code, std::move(message), std::move(uuid)});
  };
  auto refuse_envelope = [&](std::string_view error) {
    std::string message = "request envelope is invalid: ";
    message.append(error);
    return refuse(kInvalidMessage, std::move(message));
  };

  // The envelope: members in key order ("body" < "type" < "uuid", the smallest refused key
  // among them), the first refused one deciding; missing members only after that.
  constexpr std::string_view kExpectedMembers = "one of `uuid`, `type`, `body`";
  const auto& unknown = seen.unknown;
  if (unknown && sorts_before(*unknown, kBodyKey)) return refuse_envelope(unknown_field(*unknown, kExpectedMembers));
  std::optional<json::StringSpan> path;
  if (seen.body.value.present()) {
    auto body = decode_path_body(seen.body);
    if (!body) return refuse_envelope(body.error());
    path = *body;
  }
  if (unknown && sorts_before(*unknown, kTypeKey)) return refuse_envelope(unknown_field(*unknown, kExpectedMembers));
  const json::StringSpan* type = seen.type.string();
  if (seen.type.present() && type == nullptr) return refuse_envelope(invalid_type(seen.type, "a string"));
  if (unknown) return refuse_envelope(unknown_field(*unknown, kExpectedMembers));
  if (type == nullptr) return refuse_envelope("missing field `type`");
  if (!path) return refuse_envelope("missing field `body`");

  const KindName* kind = nullptr;
  for (const auto& candidate : kKinds) {
    if (json::equals(*type, candidate.type)) kind = &candidate;
  }
  if (kind == nullptr) return refuse(kUnsupportedMessageType, "unsupported message type '" + json::unescape(*type) + "'");

  // A path longer than its limit is refused whatever follows: no more of it is unescaped.
  std::string unescaped_path;
  std::string_view path_text = path->raw;
  if (path->escaped) {
    unescaped_path = json::unescape(*path, kMaxPathBytes + 1);
    path_text = unescaped_path;
  }
  auto system_path = SystemPath::parse(path_text);
  if (!system_path) return refuse(kInvalidPath, std::string(system_path.error()));

  return ClientRequest{std::move(uuid), std::move(*system_path), kind->kind};
}

}  // namespace tarnvale::protocol
