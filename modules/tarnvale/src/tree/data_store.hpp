// The shared store: the data tree, published as immutable shared snapshots, and the
// broadcast channel of ticks that tells connections a sampler cycle has ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <variant>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/intrusive/list_hook.hpp>

#include "platform/waker.hpp"
#include "tree/data_node.hpp"

namespace tarnvale::tree {

// The channel keeps the 16 newest ticks.
inline constexpr std::uint64_t kTickCapacity = 16;

// The receiver had more than 16 unreceived ticks; `lost` of them are gone.
struct TickLagged {
  std::uint64_t lost;
  friend bool operator==(const TickLagged&, const TickLagged&) = default;
};
// The sending side is gone and every kept tick has been received.
struct TickClosed {
  friend bool operator==(const TickClosed&, const TickClosed&) = default;
};
using TickEvent = std::variant<std::uint64_t, TickLagged, TickClosed>;

class TickChannel;

// One receiver of the tick channel. It sees the ticks sent after it was made, in order.
// Not moved while it waits for a wake-up.
class TickReceiver {
 public:
  explicit TickReceiver(std::shared_ptr<TickChannel> channel);

  // True when try_recv() would yield an event.
  bool ready() const;
  // The next event without waiting, or none.
  std::optional<TickEvent> try_recv();
  // Completes at once when ready(); otherwise at the next tick, at the channel's close, or
  // when the wait is cancelled. It consumes nothing, so abandoning it loses no tick:
  // callers look again with try_recv().
  boost::asio::awaitable<void> wait();
  // Waits for and takes the next event.
  boost::asio::awaitable<TickEvent> recv();
  // Rings `waker` once, at the next tick or at the channel's close, for a sleeper that waits
  // for other things too. Look at ready() first: a tick already sent does not ring a waker
  // registered after it. Registering again before that replaces the waker; releasing the
  // receiver cancels it.
  void wake_on_tick(platform::Waker& waker);

 private:
  friend class TickChannel;

  std::shared_ptr<TickChannel> channel_;
  std::uint64_t next_;  // number of the next tick this receiver has not yet received
  // Linked into the channel's waiters while `waker_` waits for a tick.
  boost::intrusive::list_member_hook<boost::intrusive::link_mode<boost::intrusive::auto_unlink>> waiting_;
  platform::Waker* waker_ = nullptr;
};

// A cheaply copied handle; every copy reaches the same store. Single-threaded: all use
// happens on the one executor given at creation.
class DataStore {
 public:
  // Not ready; the tree is the root with an empty "system" branch; no tick issued yet.
  static DataStore create(const boost::asio::any_io_executor& executor);

  bool is_ready() const;
  // Replaces the "system" branch, sets the ready flag, then issues the next tick.
  void publish_system(DataNode node);
  // Issues and sends the next tick if the store is ready; otherwise does nothing.
  void notify_tick();
  TickReceiver subscribe_ticks() const;
  // The root of the current tree, or null while the store is not ready.
  //
  // The tree is never changed after publication: each publish builds a new tree and swaps
  // it in, so a snapshot shares the published tree instead of copying it, and behaves
  // exactly as a private deep copy that nothing else can change.
  std::shared_ptr<const DataNode> snapshot() const;
  // The tree whose root snapshot() yields, or null while the store is not ready; its
  // value_text() renderings are shared by every holder of that tree.
  std::shared_ptr<const DataTree> snapshot_tree() const;
  // The number of the last tick issued (0 before the first).
  std::uint64_t tick_counter() const;

 private:
  struct Inner;
  explicit DataStore(std::shared_ptr<Inner> inner) : inner_(std::move(inner)) {}
  std::shared_ptr<Inner> inner_;
};

}  // namespace tarnvale::tree
