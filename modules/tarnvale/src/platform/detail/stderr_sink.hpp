// Standard error written without waiting, and without touching the descriptor's own flags:
// it is shared with whoever started the process, and O_NONBLOCK set on it would reach them.
//
// How depends on what the descriptor is:
//  - a socket (journald's stream): send() with MSG_DONTWAIT;
//  - a pipe, a FIFO or a terminal: writes through an open file description of its own,
//    opened non-blocking through /proc/self/fd/2; where that fails, for a pipe a write of at
//    most PIPE_BUF bytes once poll() finds room, which it then takes without waiting unless
//    another process writes to the same pipe in between, and a terminal is written at once;
//  - a regular file, anything else: plain writes, which finish at once.
//
// Room is awaited through an epoll instance of the sink's own that watches the descriptor:
// the io_context waits on that instance, never on standard error itself, because an Asio
// descriptor sets O_NONBLOCK on the descriptor it waits on.
#pragma once

#include <limits.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/post.hpp>
#include <boost/system/error_code.hpp>

#include "platform/result.hpp"

namespace tarnvale::platform {

class StderrSink {
 public:
  // The most bytes to hand write_some at once: a line of up to PIPE_BUF bytes then reaches a
  // pipe in one piece, never interleaved with another writer's.
  static constexpr std::size_t kChunk = PIPE_BUF;

  explicit StderrSink(const boost::asio::any_io_executor& executor);
  StderrSink(const StderrSink&) = delete;
  StderrSink& operator=(const StderrSink&) = delete;
  ~StderrSink();

  // Writes the first bytes of `bytes` without waiting: how many were written, or the errno
  // (EAGAIN: no room now, wait_ready).
  Result<std::size_t, int> write_some(std::string_view bytes);

  // Writes all of `bytes`, waiting for room as long as it takes: for the process end.
  Result<void, int> write_all(std::string_view bytes);

  // Calls `ready(error_code)` once standard error has room again or its reader is gone; one
  // wait at a time. Destroying the sink ends the wait with operation_aborted.
  template <class Handler>
  void wait_ready(Handler&& ready) {
    if (const int code = arm_watch(); code != 0) {
      boost::asio::post(watch_.get_executor(),
                        [ready = std::forward<Handler>(ready), code]() mutable {
                          std::move(ready)(boost::system::error_code(code, boost::system::system_category()));
                        });
      return;
    }
    watch_.async_wait(boost::asio::posix::stream_descriptor::wait_read, std::forward<Handler>(ready));
  }

 private:
  enum class Kind { at_once, socket, reopened, gated_pipe };

  // Harvests the watch's last report and arms it for the next: 0, or the errno.
  int arm_watch();

  Kind kind_ = Kind::at_once;
  // The descriptor written and watched: 2, or its own non-blocking reopening.
  int fd_ = 2;
  // The epoll instance that watches `fd_` for room.
  boost::asio::posix::stream_descriptor watch_;
};

}  // namespace tarnvale::platform
