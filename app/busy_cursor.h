// The busy cursor for work that may take a while, shown for the lifetime of
// the object (exceptions included). Message boxes shown meanwhile put the
// arrow back (QtModal). User-interface thread only.
#pragma once

#include <QApplication>

namespace app {

struct BusyCursor {
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace app
