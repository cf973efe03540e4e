// One budget for the memory that all connections hold of input they have not finished:
// opening handshakes still arriving, messages and frames not yet complete. A connection
// whose input would take the total past the budget makes room by ending connections, those
// that hold the most first, so that a client streaming a huge message is the one to lose,
// not one that sends a small request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "websocket/core/error.hpp"

namespace tarnvale::websocket {

class InputAccount;

class InputBudget {
 public:
  static constexpr std::size_t kMiB = std::size_t{1} << 20;
  // Never less than one largest message (whose buffer grows to 64 MiB) with room to spare
  // for the ordinary clients beside it; never more than a small share of the host.
  static constexpr std::size_t kSmallest = 80 * kMiB;
  static constexpr std::size_t kLargest = 256 * kMiB;

  // An eighth of the host's memory, within kSmallest and kLargest.
  static std::size_t for_host_memory(std::uint64_t host_memory);

  explicit InputBudget(std::size_t limit) : limit_(limit) {}
  InputBudget(const InputBudget&) = delete;
  InputBudget& operator=(const InputBudget&) = delete;

  std::size_t limit() const { return limit_; }
  // What the accounts hold together.
  std::size_t held() const { return held_; }

 private:
  friend class InputAccount;
  // Ends the accounts that hold the most until the total fits; `total` is the figure that
  // passed the limit, for their error. All but `asking` are told.
  void make_room(std::size_t total, const InputAccount& asking);

  std::size_t limit_;
  std::size_t held_ = 0;
  // The accounts, as a list through them.
  InputAccount* first_ = nullptr;
};

// What one connection holds of the budget. Without a budget it counts nothing and is never
// ended. Movable: the budget finds it where it was moved to.
class InputAccount {
 public:
  InputAccount() = default;
  explicit InputAccount(std::shared_ptr<InputBudget> budget);
  InputAccount(InputAccount&& other) noexcept;
  InputAccount& operator=(InputAccount&& other) noexcept;
  ~InputAccount();

  // Holds `bytes` instead of what it held. Past the limit, accounts are ended, those that
  // hold the most first, until the total fits: false when this one is among them (or was
  // ended before). An ended account holds nothing and counts nothing more.
  bool hold(std::size_t bytes);
  std::size_t held() const { return held_; }
  bool ended() const { return ended_; }
  // Why the account was ended: "Space limit exceeded: Unfinished input over the service's
  // budget: <total> > <limit>".
  Error refusal() const;
  // Called when another account's input ends this one, so that its owner lets its input go
  // and ends the connection. The caller of a refused hold() does that itself.
  void on_ended(std::function<void()> end) { on_ended_ = std::move(end); }

 private:
  friend class InputBudget;
  void link();
  void unlink();
  // Gives back what the account holds and marks it ended; `notify` calls on_ended().
  void end(std::size_t total, bool notify);

  std::shared_ptr<InputBudget> budget_;
  InputAccount* prev_ = nullptr;
  InputAccount* next_ = nullptr;
  std::size_t held_ = 0;
  bool ended_ = false;
  std::size_t ended_total_ = 0;
  std::function<void()> on_ended_;
};

}  // namespace tarnvale::websocket
