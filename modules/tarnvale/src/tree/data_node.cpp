#include "tree/data_node.hpp"

#include <cmath>
#include <type_traits>
#include <utility>

#include "json/writer.hpp"

namespace tarnvale::tree {

std::string_view schema_name(const DataValue& value) {
  static constexpr std::string_view kNames[] = {"uint64", "float64", "string"};
  return kNames[value.index()];
}

namespace {

json::Value value_json(const DataValue& value) {
  return std::visit(
      [](const auto& v) -> json::Value {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, double>) {
          if (!std::isfinite(v)) return nullptr;
          return v;
        } else {
          return v;
        }
      },
      value);
}

}  // namespace

DataNode DataNode::leaf(DataValue value, Unit unit) {
  DataNode node;
  node.value_ = std::move(value);
  node.unit_ = unit;
  return node;
}

void DataNode::insert(std::string&& name, DataNode child) {
  children_.insert_or_assign(std::move(name), std::move(child));
}

void DataNode::insert(std::string_view name, DataNode child) {
  auto it = children_.find(name);
  if (it != children_.end()) {
    it->second = std::move(child);
  } else {
    children_.emplace(std::string(name), std::move(child));
  }
}

const DataNode* DataNode::child(std::string_view name) const {
  auto it = children_.find(name);
  return it == children_.end() ? nullptr : &it->second;
}

json::Value DataNode::to_json_value() const {
  if (value_) return value_json(*value_);
  json::Object object;
  for (const auto& [name, child] : children_) {
    object.emplace_hint(object.end(), name, child.to_json_value());
  }
  return object;
}

json::Value DataNode::to_schema_json() const {
  json::Object object;
  if (value_) {
    object.emplace("kind", "value");
    if (unit_) object.emplace("unit", *unit_);
    object.emplace("valueType", schema_name(*value_));
    return object;
  }
  json::Object children;
  for (const auto& [name, child] : children_) {
    children.emplace_hint(children.end(), name, child.to_schema_json());
  }
  object.emplace("children", std::move(children));
  object.emplace("kind", "branch");
  return object;
}

void DataNode::write_json_value(std::string& out) const {
  if (value_) {
    std::visit(
        [&out](const auto& v) {
          using T = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<T, std::uint64_t>) {
            json::write_uint(out, v);
          } else if constexpr (std::is_same_v<T, double>) {
            json::write_double(out, v);
          } else {
            json::write_string(out, v);
          }
        },
        *value_);
    return;
  }
  out.push_back('{');
  bool first = true;
  for (const auto& [name, child] : children_) {
    if (!first) out.push_back(',');
    first = false;
    json::write_string(out, name);
    out.push_back(':');
    child.write_json_value(out);
  }
  out.push_back('}');
}

DataTree::DataTree() { root_.insert("system", DataNode::branch()); }

void DataTree::replace_system(DataNode node) {
  root_.insert("system", std::move(node));
  texts_.clear();
}

std::string_view DataTree::value_text(const DataNode& node) const {
  auto [it, added] = texts_.values.try_emplace(&node);
  if (added) node.write_json_value(it->second);
  return it->second;
}

}  // namespace tarnvale::tree
