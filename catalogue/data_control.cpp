#include "catalogue/data_control.h"

#include <algorithm>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace dao {

namespace {
// A recordset dropped may free many megabytes (a sort's addresses, kept
// rows) in pieces the allocator keeps for itself, often in the arena of
// the worker thread that read them; they are handed back to the system so
// that the next long work does not add its own on top.
void releaseFreed() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}
}  // namespace

DataControl::DataControl() = default;

DataControl::~DataControl() {
  rs_.reset();
  db_.reset();
}

void DataControl::Refresh() { Refresh(nullptr); }

void DataControl::Refresh(const Runner& run) {
  std::unique_ptr<Database> fresh;
  std::unique_ptr<Recordset> rs;
  auto work = [&] {
    bool reopen = !db_ || !db_->isOpen() || DatabaseName != openedName_ || Connect != openedConnect_;
    if (reopen) fresh = DBEngine::OpenDatabase(DatabaseName, Connect);
    Database& target = fresh ? *fresh : *db_;
    if (!RecordSource.empty()) {
      rs = std::make_unique<Recordset>(target, RecordSource);
      rs->rowExists(kFirstRows - 1);
    }
  };
  if (run)
    run(work);
  else
    work();
  // Everything worked: the new state replaces the old one.
  rs_.reset();
  if (fresh) {
    db_ = std::move(fresh);
    openedName_ = DatabaseName;
    openedConnect_ = Connect;
  }
  rs_ = std::move(rs);
  releaseFreed();
  if (rs_) {
    rs_->setRepositionListener([this] { fireReposition(); });
    if (rs_->RecordCount() > 0) rs_->MoveFirst();
  }
  fireRefresh();
}

void DataControl::close() {
  rs_.reset();
  db_.reset();
  openedName_.clear();
  openedConnect_.clear();
  fireRefresh();
}

void DataControl::dropRecordset() {
  if (!rs_) return;
  rs_.reset();
  releaseFreed();
  fireRefresh();
}

int DataControl::addRefreshListener(Listener l) {
  listeners_.push_back({nextKey_, false, std::move(l)});
  return nextKey_++;
}

int DataControl::addRepositionListener(Listener l) {
  listeners_.push_back({nextKey_, true, std::move(l)});
  return nextKey_++;
}

void DataControl::removeListener(int key) {
  listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                  [key](const Entry& e) { return e.key == key; }),
                   listeners_.end());
}

void DataControl::fireRefresh() {
  auto copy = listeners_;
  for (auto& e : copy)
    if (!e.reposition) e.fn();
}

void DataControl::fireReposition() {
  auto copy = listeners_;
  for (auto& e : copy)
    if (e.reposition) e.fn();
}

}  // namespace dao
