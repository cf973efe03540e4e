// Memory that ended connections freed goes back to the system: the allocator keeps what is
// freed for reuse, and after many connections have gone most of it is never reused.
#pragma once

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/steady_timer.hpp>

namespace tarnvale::server {

class MemoryReturn {
 public:
  explicit MemoryReturn(const boost::asio::any_io_executor& executor) : timer_(executor) {}
  MemoryReturn(const MemoryReturn&) = delete;
  MemoryReturn& operator=(const MemoryReturn&) = delete;

  // A connection has ended: a second later the allocator's free memory goes back to the
  // system, once for all the connections that end meanwhile, so at most once a second.
  void connection_ended();

 private:
  boost::asio::steady_timer timer_;
  bool pending_ = false;
};

}  // namespace tarnvale::server
