// What a source of events rings when it has something for a sleeper: the tick channel and a
// socket's readiness both ring the one wake-up of a connection.
#pragma once

namespace tarnvale::platform {

class Waker {
 public:
  // Ends the sleeper's current sleep, if it sleeps; otherwise changes nothing, as the sleeper
  // looks at all of its sources before it sleeps again. Never runs the sleeper inline: a
  // source may ring while it is itself in the middle of its work.
  virtual void wake() = 0;

 protected:
  ~Waker() = default;
};

}  // namespace tarnvale::platform
