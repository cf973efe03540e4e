#include "json/reader.hpp"

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace tarnvale::json {

namespace {

// Builds the generic value from the reader's events.
class ValueBuilder {
 public:
  ValueBuilder() { stack_.reserve(16); }

  void begin_array() { stack_.emplace_back().container = Array(); }
  void begin_object() { stack_.emplace_back().container = Object(); }
  void key(StringSpan key) {
    std::string& text = stack_.back().key;
    text.clear();
    append_unescaped(text, key);
  }
  void scalar(const Scalar& value) {
    std::visit(
        [this](const auto& v) {
          if constexpr (std::is_same_v<std::decay_t<decltype(v)>, StringSpan>) {
            deliver(Value(unescape(v)));
          } else {
            deliver(Value(v));
          }
        },
        value);
  }
  void end() {
    Value container = std::move(stack_.back().container);
    stack_.pop_back();
    deliver(std::move(container));
  }

  Value take() { return std::move(result_); }

 private:
  // A container under construction, with the key of the member whose value comes next.
  struct Frame {
    Value container;
    std::string key;
  };

  void deliver(Value value) {
    if (stack_.empty()) {
      result_ = std::move(value);
      return;
    }
    Frame& top = stack_.back();
    if (top.container.is_array()) {
      top.container.as_array().push_back(std::move(value));
    } else {
      Object& object = top.container.as_object();
      object.insert_or_assign(object.end(), std::move(top.key), std::move(value));
    }
  }

  std::vector<Frame> stack_;
  Value result_;
};

}  // namespace

Result<Value, ReadError> read(std::string_view text) {
  ValueBuilder builder;
  if (auto read = read_events(text, builder); !read) return unexpected(std::move(read).error());
  return builder.take();
}

}  // namespace tarnvale::json
