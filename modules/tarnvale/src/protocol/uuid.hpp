// UUID texts: the four forms in which a request may carry its identifier, and the fresh
// random version-4 identifiers of pushed messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnvale::protocol {

// The length of a hyphenated UUID text (8-4-4-4-12 hexadecimal digits).
inline constexpr std::size_t kUuidTextSize = 36;
// The length of the longest form, the URN.
inline constexpr std::size_t kMaxUuidTextSize = 45;

// Whether `text` is a UUID in the simple (32 hexadecimal digits), hyphenated, braced
// ("{…}") or URN ("urn:uuid:…", lower case) form. Digits may be of either case; version
// and variant are not looked at.
bool is_uuid_text(std::string_view text);

// Writes a fresh random version-4 UUID, hyphenated, in lower case, at `out` (kUuidTextSize
// bytes). The random bytes are drawn from the kernel in batches.
void write_random_uuid(char* out);
// The same, appended to `out`.
void append_random_uuid(std::string& out);

}  // namespace tarnvale::protocol
