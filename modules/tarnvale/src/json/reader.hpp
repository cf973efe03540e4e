// The strict JSON reader: one whole text into a generic value, or the syntax error with
// the line and column at which reading stopped.
#pragma once

#include <string_view>

#include "json/event_reader.hpp"
#include "json/syntax_error.hpp"
#include "json/value.hpp"
#include "platform/result.hpp"

namespace tarnvale::json {

// Reads `text` as exactly one JSON value, optionally surrounded by JSON white space.
// Objects keep the last of repeated keys; numbers are read as json::Number says; strings
// must be valid UTF-8. Time is linear in the text apart from ordering object keys;
// nothing recurses.
Result<Value, ReadError> read(std::string_view text);

}  // namespace tarnvale::json
