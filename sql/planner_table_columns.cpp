// The source columns of a base table, made once per table definition and
// shared by every statement that reads it.
#include <mutex>
#include <unordered_map>

#include "sql/planner_impl.h"

namespace sql::planning {

namespace {

std::vector<SrcCol> makeColumns(const jet::TableDef& def, bool jet3) {
  std::vector<SrcCol> cols;
  cols.reserve(def.columns.size());
  for (size_t c = 0; c < def.columns.size(); ++c) {
    const auto& col = def.columns[c];
    SrcCol sc;
    sc.name = col.name;
    sc.meta.name = col.name;
    sc.meta.type = col.type;
    sc.meta.size = col.displaySize(jet3);
    sc.meta.required = col.requiredProp;
    sc.meta.sourceTable = def.name;
    sc.meta.sourceField = col.name;
    sc.meta.baseColumn = static_cast<int>(c);
    cols.push_back(std::move(sc));
  }
  return cols;
}

struct Entry {
  // Held weakly: an entry whose definition is gone (the table changed, the
  // database closed) is never served, even should a new definition come to
  // live at the same address.
  std::weak_ptr<const jet::TableDef> def;
  bool jet3 = false;
  std::shared_ptr<const std::vector<SrcCol>> cols;
};

constexpr size_t kMaxEntries = 256;

}  // namespace

std::shared_ptr<const std::vector<SrcCol>> tableColumns(const std::shared_ptr<const jet::TableDef>& def, bool jet3) {
  static std::mutex mutex;
  static std::unordered_map<const jet::TableDef*, Entry> cache;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = cache.find(def.get());
  if (it != cache.end()) {
    auto held = it->second.def.lock();
    if (held == def && it->second.jet3 == jet3) return it->second.cols;
    cache.erase(it);
  }
  if (cache.size() >= kMaxEntries) {
    for (auto e = cache.begin(); e != cache.end();) e = e->second.def.expired() ? cache.erase(e) : std::next(e);
    if (cache.size() >= kMaxEntries) cache.clear();
  }
  auto cols = std::make_shared<const std::vector<SrcCol>>(makeColumns(*def, jet3));
  cache[def.get()] = Entry{def, jet3, cols};
  return cols;
}

}  // namespace sql::planning
