// Where a connection goes after one step of its loop: a message handled, a tick served.
#pragma once

#include "platform/result.hpp"
#include "websocket/core/error.hpp"

namespace tarnvale::server {

enum class Step {
  next,    // go on with the next message or tick
  closed,  // a close frame went out, the server's own or its answer to the client's: the end
  ended,   // the end without a close frame (the store's tick channel closed)
};

// A step, or the WebSocket error of a failed read or send, which ends the connection too.
using StepResult = Result<Step, websocket::Error>;

}  // namespace tarnvale::server
