#include "sampler/sample_once.hpp"

namespace tarnvale::sampler {

Result<void, metrics::MetricsError> sample_once(metrics::SystemMetricsSource& source, tree::DataStore& store) {
  auto snapshot = source.refresh();
  if (!snapshot) return unexpected(std::move(snapshot).error());
  // The snapshot goes as soon as its subtree exists; only the subtree lives on, in the store.
  tree::DataNode system = metrics::SystemSnapshot(std::move(snapshot).value()).to_system_node();
  store.publish_system(std::move(system));
  return {};
}

}  // namespace tarnvale::sampler
