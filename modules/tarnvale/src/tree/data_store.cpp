#include "tree/data_store.hpp"

#include <chrono>
#include <utility>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/intrusive/list.hpp>

namespace tarnvale::tree {

namespace asio = boost::asio;

// Ticks are numbered consecutively, so the channel needs only the number of the last tick
// sent: a receiver's unreceived ticks are next..last, and the kept ones the 16 newest.
class TickChannel {
 public:
  explicit TickChannel(const asio::any_io_executor& executor) : signal_(executor) {
    signal_.expires_at(asio::steady_timer::time_point::max());
  }

  void send(std::uint64_t tick) {
    last_ = tick;
    wake();
  }
  void close() {
    closed_ = true;
    wake();
  }
  std::uint64_t last() const { return last_; }
  bool closed() const { return closed_; }
  asio::steady_timer& signal() { return signal_; }
  void add_waiter(TickReceiver& receiver) { waiters_.push_back(receiver); }

 private:
  using Waiters = boost::intrusive::list<
      TickReceiver,
      boost::intrusive::member_hook<TickReceiver, decltype(TickReceiver::waiting_), &TickReceiver::waiting_>,
      boost::intrusive::constant_time_size<false>>;

  // Rings exactly the receivers that wait, each once. A waker never runs its sleeper inline,
  // so the list changes only here while it is rung.
  void wake() {
    signal_.cancel();
    while (!waiters_.empty()) {
      TickReceiver& receiver = waiters_.front();
      waiters_.pop_front();
      receiver.waker_->wake();
    }
  }

  // The receivers that wait() wait on this timer, which never expires; cancelling it wakes
  // them all.
  asio::steady_timer signal_;
  // The receivers whose wakers wait for the next tick; a receiver that is released leaves the
  // list by itself.
  Waiters waiters_;
  std::uint64_t last_ = 0;
  bool closed_ = false;
};

struct DataStore::Inner {
  explicit Inner(const asio::any_io_executor& executor)
      : tree(std::make_shared<const DataTree>()), ticks(std::make_shared<TickChannel>(executor)) {}
  ~Inner() { ticks->close(); }

  std::shared_ptr<const DataTree> tree;
  std::shared_ptr<TickChannel> ticks;
  std::uint64_t tick_counter = 0;
  bool ready = false;
};

TickReceiver::TickReceiver(std::shared_ptr<TickChannel> channel)
    : channel_(std::move(channel)), next_(channel_->last() + 1) {}

bool TickReceiver::ready() const { return next_ <= channel_->last() || channel_->closed(); }

std::optional<TickEvent> TickReceiver::try_recv() {
  const std::uint64_t last = channel_->last();
  if (next_ <= last) {
    const std::uint64_t unreceived = last - next_ + 1;
    if (unreceived > kTickCapacity) {
      // The oldest unreceived ticks were overwritten: report the loss and move to the
      // oldest tick still kept.
      next_ = last - kTickCapacity + 1;
      return TickLagged{unreceived - kTickCapacity};
    }
    return next_++;
  }
  if (channel_->closed()) return TickClosed{};
  return std::nullopt;
}

asio::awaitable<void> TickReceiver::wait() {
  if (ready()) co_return;
  // Hold the channel: the wake-up may be its close, when the store is released.
  auto channel = channel_;
  co_await channel->signal().async_wait(asio::as_tuple(asio::use_awaitable));
}

void TickReceiver::wake_on_tick(platform::Waker& waker) {
  waker_ = &waker;
  if (!waiting_.is_linked()) channel_->add_waiter(*this);
}

asio::awaitable<TickEvent> TickReceiver::recv() {
  for (;;) {
    if (auto event = try_recv()) co_return *event;
    co_await wait();
  }
}

DataStore DataStore::create(const asio::any_io_executor& executor) {
  return DataStore(std::make_shared<Inner>(executor));
}

bool DataStore::is_ready() const { return inner_->ready; }

void DataStore::publish_system(DataNode node) {
  auto tree = std::make_shared<DataTree>();
  tree->replace_system(std::move(node));
  inner_->tree = std::move(tree);
  inner_->ready = true;
  notify_tick();
}

void DataStore::notify_tick() {
  if (!inner_->ready) return;
  // The tick is numbered and sent whether or not a receiver exists.
  inner_->ticks->send(++inner_->tick_counter);
}

TickReceiver DataStore::subscribe_ticks() const { return TickReceiver(inner_->ticks); }

std::shared_ptr<const DataNode> DataStore::snapshot() const {
  auto tree = snapshot_tree();
  if (!tree) return nullptr;
  const DataNode* root = &tree->root();
  return std::shared_ptr<const DataNode>(std::move(tree), root);
}

std::shared_ptr<const DataTree> DataStore::snapshot_tree() const {
  if (!inner_->ready) return nullptr;
  return inner_->tree;
}

std::uint64_t DataStore::tick_counter() const { return inner_->tick_counter; }

}  // namespace tarnvale::tree
