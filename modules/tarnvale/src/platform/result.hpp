// Result<T, E>: a value or an error, the way every fallible operation reports failure.
// A small stand-in for std::expected with the same spelling for the parts we use; it also
// builds with the clang of the fuzzing toolchain, whose library support lacks std::expected.
#pragma once

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace tarnvale {

template <class E>
class unexpected {
 public:
  explicit unexpected(E error) : error_(std::move(error)) {}
  E& error() & { return error_; }
  E&& error() && { return std::move(error_); }
  const E& error() const& { return error_; }

 private:
  E error_;
};

template <class T, class E>
class [[nodiscard]] Result {
 public:
  template <class U = T, std::enable_if_t<std::is_constructible_v<T, U&&>, int> = 0>
  Result(U&& value) : v_(std::in_place_index<0>, std::forward<U>(value)) {}
  template <class G>
  Result(unexpected<G> e) : v_(std::in_place_index<1>, std::move(e).error()) {}

  bool has_value() const { return v_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  const T& value() const& { return std::get<0>(v_); }
  T& operator*() & { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  E& error() & { return std::get<1>(v_); }
  E&& error() && { return std::get<1>(std::move(v_)); }
  const E& error() const& { return std::get<1>(v_); }

 private:
  std::variant<T, E> v_;
};

template <class E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  template <class G>
  Result(unexpected<G> e) : error_(std::move(e).error()) {}

  bool has_value() const { return !error_.has_value(); }
  explicit operator bool() const { return has_value(); }
  void value() const {}

  E& error() & { return *error_; }
  E&& error() && { return std::move(*error_); }
  const E& error() const& { return *error_; }

 private:
  std::optional<E> error_;
};

}  // namespace tarnvale
