// Value and schema renderings of nodes, and replacement on insert.
#include "tree/data_node.hpp"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "json/writer.hpp"

namespace tarnvale::tree {
namespace {

std::string value_text(const DataNode& n) { return json::to_string(n.to_json_value()); }
std::string schema_text(const DataNode& n) { return json::to_string(n.to_schema_json()); }

DataNode with_value_and_children() {
  DataNode n = DataNode::leaf(std::uint64_t{7}, kUnitBytes);
  n.insert("child", DataNode::leaf(1.0));
  return n;
}

DataNode load_average() {
  DataNode n = DataNode::branch();
  n.insert("5m", DataNode::leaf(0.25));
  n.insert("1m", DataNode::leaf(0.5));
  n.insert("15m", DataNode::leaf(0.75));
  return n;
}

TEST(RenderingsTest, ExamplesAndEdgeCases) {
  struct Case {
    const char* name;
    DataNode node;
    const char* value;
    const char* schema;
  } cases[] = {
      {"uint leaf with unit", DataNode::leaf(std::uint64_t{512}, kUnitBytes), "512",
       R"({"kind":"value","unit":"bytes","valueType":"uint64"})"},
      {"string leaf", DataNode::leaf(std::string("a\"b")), R"("a\"b")", R"({"kind":"value","valueType":"string"})"},
      {"empty branch", DataNode::branch(), "{}", R"({"children":{},"kind":"branch"})"},
      {"byte order of names", load_average(), R"({"15m":0.75,"1m":0.5,"5m":0.25})",
       R"({"children":{"15m":{"kind":"value","valueType":"float64"},"1m":{"kind":"value","valueType":"float64"},)"
       R"("5m":{"kind":"value","valueType":"float64"}},"kind":"branch"})"},
      {"nan", DataNode::leaf(std::nan("")), "null", R"({"kind":"value","valueType":"float64"})"},
      {"infinity", DataNode::leaf(-std::numeric_limits<double>::infinity()), "null",
       R"({"kind":"value","valueType":"float64"})"},
      {"negative zero", DataNode::leaf(-0.0), "-0.0", R"({"kind":"value","valueType":"float64"})"},
      {"largest uint", DataNode::leaf(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615",
       R"({"kind":"value","valueType":"uint64"})"},
      {"value with children shows the value", with_value_and_children(), "7",
       R"({"kind":"value","unit":"bytes","valueType":"uint64"})"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(value_text(c.node), c.value);
    EXPECT_EQ(schema_text(c.node), c.schema);
    std::string direct;
    c.node.write_json_value(direct);
    EXPECT_EQ(direct, c.value);
  }
}

TEST(InsertTest, SameNameReplacesTheWholeOldChild) {
  DataNode root = DataNode::branch();
  DataNode old = DataNode::branch();
  old.insert("gone", DataNode::leaf(1.0));
  root.insert("cpu2", std::move(old));
  root.insert("cpu10", DataNode::leaf(2.0));
  std::string name = "cpu2";
  root.insert(std::move(name), DataNode::leaf(3.0));
  EXPECT_EQ(root.children().size(), 2u);
  EXPECT_EQ(value_text(root), R"({"cpu10":2.0,"cpu2":3.0})");
}

TEST(DataTreeTest, NewTreeHoldsAnEmptySystemBranchAndReplaceSwapsIt) {
  DataTree tree;
  EXPECT_EQ(value_text(tree.root()), R"({"system":{}})");
  DataNode first = DataNode::branch();
  first.insert("only_first", DataNode::leaf(std::uint64_t{1}));
  tree.replace_system(std::move(first));
  DataNode second = DataNode::branch();
  second.insert("uptime", DataNode::leaf(std::uint64_t{2}, kUnitSeconds));
  tree.replace_system(std::move(second));
  EXPECT_EQ(value_text(tree.root()), R"({"system":{"uptime":2}})");
}

TEST(DataTreeTest, SharedValueTextIsWrittenOnceAndNeverOutlivesAReplacement) {
  DataTree tree;
  DataNode first = DataNode::branch();
  first.insert("uptime", DataNode::leaf(std::uint64_t{1}));
  tree.replace_system(std::move(first));
  const DataNode& system = *tree.root().child("system");
  const std::string_view once = tree.value_text(system);
  EXPECT_EQ(once, R"({"uptime":1})");
  EXPECT_EQ(tree.value_text(system).data(), once.data());  // the same text, not a new one

  const DataTree copy = tree;
  EXPECT_EQ(copy.value_text(*copy.root().child("system")), R"({"uptime":1})");

  DataNode second = DataNode::branch();
  second.insert("uptime", DataNode::leaf(std::uint64_t{2}));
  tree.replace_system(std::move(second));
  EXPECT_EQ(tree.value_text(*tree.root().child("system")), R"({"uptime":2})");
  EXPECT_EQ(tree.value_text(tree.root()), R"({"system":{"uptime":2}})");
}

}  // namespace
}  // namespace tarnvale::tree
