#include "websocket/core/input_budget.hpp"

#include <algorithm>
#include <string>
#include <utility>

namespace tarnvale::websocket {

std::size_t InputBudget::for_host_memory(std::uint64_t host_memory) {
  return static_cast<std::size_t>(std::clamp<std::uint64_t>(host_memory / 8, kSmallest, kLargest));
}

void InputBudget::make_room(std::size_t total, const InputAccount& asking) {
  while (held_ > limit_) {
    InputAccount* largest = first_;
    for (InputAccount* account = first_; account != nullptr; account = account->next_) {
      if (account->held_ > largest->held_) largest = account;
    }
    largest->end(total, largest != &asking);
  }
}

InputAccount::InputAccount(std::shared_ptr<InputBudget> budget) : budget_(std::move(budget)) { link(); }

InputAccount::InputAccount(InputAccount&& other) noexcept { *this = std::move(other); }

InputAccount& InputAccount::operator=(InputAccount&& other) noexcept {
  if (this == &other) return *this;
  hold(0);
  unlink();
  other.unlink();
  budget_ = std::move(other.budget_);
  held_ = std::exchange(other.held_, 0);
  ended_ = other.ended_;
  ended_total_ = other.ended_total_;
  on_ended_ = std::move(other.on_ended_);
  link();
  return *this;
}

InputAccount::~InputAccount() {
  hold(0);
  unlink();
}

void InputAccount::link() {
  if (!budget_) return;
  next_ = budget_->first_;
  if (next_ != nullptr) next_->prev_ = this;
  budget_->first_ = this;
}

void InputAccount::unlink() {
  if (!budget_) return;
  if (prev_ != nullptr) {
    prev_->next_ = next_;
  } else if (budget_->first_ == this) {
    budget_->first_ = next_;
  }
  if (next_ != nullptr) next_->prev_ = prev_;
  prev_ = next_ = nullptr;
}

bool InputAccount::hold(std::size_t bytes) {
  if (!budget_) return true;
  if (ended_) return bytes == 0;
  budget_->held_ = budget_->held_ - held_ + bytes;
  held_ = bytes;
  if (budget_->held_ > budget_->limit_) budget_->make_room(budget_->held_, *this);
  return !ended_;
}

void InputAccount::end(std::size_t total, bool notify) {
  budget_->held_ -= held_;
  held_ = 0;
  ended_ = true;
  ended_total_ = total;
  auto end = std::exchange(on_ended_, nullptr);
  if (notify && end) end();
}

Error InputAccount::refusal() const {
  return Error::capacity("Unfinished input over the service's budget: " + std::to_string(ended_total_) + " > " +
                         std::to_string(budget_ ? budget_->limit() : 0));
}

}  // namespace tarnvale::websocket
