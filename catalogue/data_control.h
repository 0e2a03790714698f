// The data control dta1: owns the one long-lived connection of the main
// window and its current recordset. The data grid and the record text boxes
// are bound to it and follow its refreshes and moves.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/dao.h"
#include "catalogue/recordset.h"

namespace dao {

class DataControl {
 public:
  DataControl();
  ~DataControl();

  std::string DatabaseName;
  std::string Connect = "Access 2000;";
  std::string RecordSource;

  // Opens DatabaseName with Connect when no database is open or either has
  // changed since the last opening, then runs RecordSource (when not empty).
  // Nothing changes when any step fails: the database and recordset held
  // before stay in place and the error (jet::Error) propagates.
  void Refresh();
  // The same, with the opening, the statement and the reading of its first
  // rows (the lengthy part: a sort, a filter) done by run, e.g. on a worker
  // thread; listeners are notified afterwards on the calling thread.
  using Runner = std::function<void(const std::function<void()>&)>;
  void Refresh(const Runner& run);
  // The first rows Refresh reads (one screen of the data grid).
  static constexpr int64_t kFirstRows = 256;

  // The open database and the current recordset; nullptr when none.
  Database* database() const { return db_.get(); }
  Recordset* recordset() const { return rs_.get(); }

  // Closes the database and drops the recordset.
  void close();
  // Drops the recordset only (the database stays open).
  void dropRecordset();

  // Notified after every refresh (a new recordset or none) and after every
  // change of the current record. Keys let a listener be removed.
  using Listener = std::function<void()>;
  int addRefreshListener(Listener l);
  int addRepositionListener(Listener l);
  void removeListener(int key);

 private:
  void fireRefresh();
  void fireReposition();

  std::unique_ptr<Database> db_;
  std::string openedName_;
  std::string openedConnect_;
  std::unique_ptr<Recordset> rs_;
  struct Entry {
    int key;
    bool reposition;
    Listener fn;
  };
  std::vector<Entry> listeners_;
  int nextKey_ = 1;
};

}  // namespace dao
