// Decodes each input twice, with the request decoder and with the reference (the generic
// reader followed by the envelope checks on the value it built), both as the whole request
// text and as the "body" of an otherwise valid request: the results must be the same, byte
// for byte, error texts and uuid included.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "decode_request_reference.hpp"
#include "protocol/request.hpp"

namespace {

using tarnvale::Result;
using tarnvale::protocol::ClientRequest;
using tarnvale::protocol::RequestDecodeError;

std::string show(const Result<ClientRequest, RequestDecodeError>& result) {
  if (result) return "request " + result->uuid + " " + result->path.text();
  const auto& error = result.error();
  return std::string(error.code) + " " + error.message + " uuid " + error.uuid.value_or("(none)");
}

void check_same(std::string_view text) {
  const auto got = tarnvale::protocol::decode_request(text);
  const auto want = tarnvale::protocol::reference::decode_request(text);
  const bool same = got.has_value() == want.has_value() && (got ? *got == *want : got.error() == want.error());
  if (same) return;
  std::fprintf(stderr, "decode_request differs from the reference\n  got:  %s\n  want: %s\n", show(got).c_str(),
               show(want).c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_same(text);
  std::string request = R"({"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValue","body":)";
  request.append(text);
  request.push_back('}');
  check_same(request);
  return 0;
}
