#include "server/detail/memory_return.hpp"

#include <malloc.h>

#include <chrono>

namespace tarnvale::server {

namespace {

constexpr std::chrono::seconds kDelay{1};

}  // namespace

void MemoryReturn::connection_ended() {
  if (pending_) return;
  pending_ = true;
  timer_.expires_after(kDelay);
  timer_.async_wait([this](const boost::system::error_code& ec) {
    if (ec) return;  // the timer is gone, and with it this object
    pending_ = false;
    ::malloc_trim(0);
  });
}

}  // namespace tarnvale::server
