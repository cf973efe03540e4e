// The data model: typed values, nodes with ordered children, and the tree rooted at "system".
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>

#include "json/value.hpp"

namespace tarnvale::tree {

// Kinds in declaration order: UInt64, Float64, String.
using DataValue = std::variant<std::uint64_t, double, std::string>;

// "uint64", "float64" or "string".
std::string_view schema_name(const DataValue& value);

// A unit is one of the fixed texts below; nodes refer to them, never own them.
using Unit = std::optional<std::string_view>;
inline constexpr std::string_view kUnitBytes = "bytes";
inline constexpr std::string_view kUnitPercent = "percent";
inline constexpr std::string_view kUnitSeconds = "seconds";

class DataNode {
 public:
  // Children in byte-wise order of their names (char_traits<char> compares as unsigned bytes).
  using Children = std::map<std::string, DataNode, std::less<>>;

  DataNode() = default;

  // An empty branch: no value, no unit, no children.
  static DataNode branch() { return DataNode(); }
  // A leaf holding `value` with an optional unit and no children.
  static DataNode leaf(DataValue value, Unit unit = std::nullopt);

  // Makes `child` the child named `name`, replacing any child of that name.
  void insert(std::string&& name, DataNode child);
  void insert(std::string_view name, DataNode child);
  void insert(const char* name, DataNode child) { insert(std::string_view(name), std::move(child)); }

  const std::optional<DataValue>& value() const { return value_; }
  const Unit& unit() const { return unit_; }
  const Children& children() const { return children_; }
  // The child named `name`, or nullptr.
  const DataNode* child(std::string_view name) const;

  // The node's value, or for a branch the object of its children's value JSON.
  json::Value to_json_value() const;
  // {"kind":"value","unit":…,"valueType":…} for a value; {"children":…,"kind":"branch"} otherwise.
  json::Value to_schema_json() const;

  // Appends the compact text of to_json_value() without building the intermediate value.
  void write_json_value(std::string& out) const;

  friend bool operator==(const DataNode&, const DataNode&) = default;

 private:
  std::optional<DataValue> value_;
  Unit unit_;
  Children children_;
};

// The whole tree: a root branch whose one child is "system".
class DataTree {
 public:
  DataTree();
  const DataNode& root() const { return root_; }
  // `node` becomes the whole "system" branch; the previous one is released.
  void replace_system(DataNode node);

  // The compact value JSON of `node`, a node of this tree, written at the first call and
  // kept with the tree: every connection that pushes the same node of one published tree
  // shares one rendering. Like the store, single-threaded.
  std::string_view value_text(const DataNode& node) const;
  // A text that a user derives from this tree, kept with the tree under `key`, a name of the
  // user's choosing: made by `make()` at the first call for the key and shared by every later
  // caller, for as long as the tree lives unchanged.
  template <class Make>
  std::string_view derived_text(std::string_view key, Make&& make) const {
    auto it = texts_.derived.find(key);
    if (it == texts_.derived.end()) it = texts_.derived.emplace(std::string(key), make()).first;
    return it->second;
  }

 private:
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
  };

  // Kept with this one object, as the node keys are addresses: a copy or a move of the tree
  // starts without them.
  class Texts {
   public:
    Texts() = default;
    Texts(const Texts&) {}
    Texts& operator=(const Texts&) {
      clear();
      return *this;
    }
    void clear() {
      values.clear();
      derived.clear();
    }
    std::unordered_map<const DataNode*, std::string> values;
    std::unordered_map<std::string, std::string, KeyHash, std::equal_to<>> derived;
  };

  DataNode root_;
  mutable Texts texts_;
};

}  // namespace tarnvale::tree
