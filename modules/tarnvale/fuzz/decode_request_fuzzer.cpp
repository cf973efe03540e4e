// Feeds arbitrary bytes to the request decoder and the JSON reader beneath it, checking
// that every input ends in a request or an error whose invariants hold.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "json/reader.hpp"
#include "json/writer.hpp"
#include "protocol/request.hpp"
#include "protocol/uuid.hpp"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarnvale;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  auto request = protocol::decode_request(text);
  if (request) {
    check(protocol::is_uuid_text(request->uuid));
    auto again = protocol::SystemPath::parse(request->path.text());
    check(again && *again == request->path);
  } else {
    const auto& error = request.error();
    check(!error.message.empty());
    check(!error.uuid || protocol::is_uuid_text(*error.uuid));
    check(error.uuid.has_value() == (error.code != protocol::kInvalidMessage ||
                                     error.message.starts_with("request envelope is invalid: ")));
  }

  // What the reader accepts, the writer writes back to a text that reads as the same value.
  auto value = json::read(text);
  if (value) {
    const std::string written = json::to_string(*value);
    auto reread = json::read(written);
    check(reread && *reread == *value);
  } else {
    check(value.error().line >= 1 && value.error().column <= size);
  }
  return 0;
}
