// A generic JSON value: null, boolean, integer, double, string, array, and object
// whose members are kept in byte-wise order of their keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace tarnvale::json {

class Value;

using Array = std::vector<Value>;
// std::less on std::string compares through char_traits<char>, which orders bytes as
// unsigned values: exactly the byte-wise order the wire format needs.
using Object = std::map<std::string, Value, std::less<>>;

class Value {
 public:
  using Storage =
      std::variant<std::nullptr_t, bool, std::uint64_t, std::int64_t, double, std::string, Array, Object>;

  Value() : v_(nullptr) {}
  Value(std::nullptr_t) : v_(nullptr) {}
  Value(bool b) : v_(b) {}
  Value(std::uint64_t u) : v_(u) {}
  Value(std::int64_t i) : v_(i) {}
  Value(double d) : v_(d) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(Array a) : v_(std::move(a)) {}
  Value(Object o) : v_(std::move(o)) {}
  // Other integer types would pick an arbitrary overload; make the choice explicit.
  Value(int) = delete;
  Value(unsigned) = delete;

  bool is_null() const { return std::holds_alternative<std::nullptr_t>(v_); }
  bool is_bool() const { return std::holds_alternative<bool>(v_); }
  bool is_uint() const { return std::holds_alternative<std::uint64_t>(v_); }
  bool is_int() const { return std::holds_alternative<std::int64_t>(v_); }
  bool is_double() const { return std::holds_alternative<double>(v_); }
  bool is_string() const { return std::holds_alternative<std::string>(v_); }
  bool is_array() const { return std::holds_alternative<Array>(v_); }
  bool is_object() const { return std::holds_alternative<Object>(v_); }

  bool as_bool() const { return std::get<bool>(v_); }
  std::uint64_t as_uint() const { return std::get<std::uint64_t>(v_); }
  std::int64_t as_int() const { return std::get<std::int64_t>(v_); }
  double as_double() const { return std::get<double>(v_); }
  const std::string& as_string() const { return std::get<std::string>(v_); }
  std::string& as_string() { return std::get<std::string>(v_); }
  const Array& as_array() const { return std::get<Array>(v_); }
  Array& as_array() { return std::get<Array>(v_); }
  const Object& as_object() const { return std::get<Object>(v_); }
  Object& as_object() { return std::get<Object>(v_); }

  const Storage& storage() const { return v_; }

  friend bool operator==(const Value&, const Value&) = default;

 private:
  Storage v_;
};

}  // namespace tarnvale::json
