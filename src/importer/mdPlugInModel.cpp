// Live instances by factory. A host may call from any thread, so the record is locked.
#include "importer/mdPlugInModel.h"

#include "importer/mdUUID.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace {

struct FactoryInstances {
  std::mutex lock;
  std::vector<std::pair<MDUUIDBytes, uint32_t>> counts;

  auto find(const MDUUIDBytes& factoryID) {
    return std::find_if(counts.begin(), counts.end(), [&](const auto& entry) { return entry.first == factoryID; });
  }
};

FactoryInstances& Instances() {
  static FactoryInstances instances;
  return instances;
}

}  // namespace

void MDPlugInAddInstanceForFactory(const MDUUIDBytes& factoryID) {
  FactoryInstances& instances = Instances();
  const std::lock_guard<std::mutex> guard(instances.lock);
  const auto entry = instances.find(factoryID);
  if (entry == instances.counts.end()) instances.counts.emplace_back(factoryID, 1);
  else ++entry->second;
}

void MDPlugInRemoveInstanceForFactory(const MDUUIDBytes& factoryID) {
  FactoryInstances& instances = Instances();
  const std::lock_guard<std::mutex> guard(instances.lock);
  const auto entry = instances.find(factoryID);
  if (entry == instances.counts.end()) return;
  if (--entry->second == 0) instances.counts.erase(entry);
}

extern "C" uint32_t MDPlugInInstanceCountForFactory(const MDUUIDBytes* factoryID) {
  if (!factoryID) return 0;
  FactoryInstances& instances = Instances();
  const std::lock_guard<std::mutex> guard(instances.lock);
  const auto entry = instances.find(*factoryID);
  return entry == instances.counts.end() ? 0 : entry->second;
}
