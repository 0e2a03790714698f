// Work on the open database that may take a while (a filter, a sort, reading
// to the last row) runs on a worker thread while the window keeps
// repainting. The engine is not made for two threads at once, so while the
// worker runs the user-interface thread does not touch the database: user
// input waits (keys and clicks are held until the work ends, closing the
// window is refused), and the data grid paints the cells it last read
// (engineBusy()). The busy cursor shows once the work has lasted 200 ms.
// User-interface thread only.
#pragma once

#include <functional>

namespace app {

// Runs work on a worker thread and returns when it has ended; an exception
// thrown by work is thrown again here. Runs work directly when no
// application object exists, or when called while other work runs.
void runLongWork(const std::function<void()>& work);

// Whether long work is running (the database must not be touched).
bool engineBusy();

// For tests: called on the worker thread before each work (e.g. to make it
// last long enough to watch the window meanwhile); empty to remove.
void setLongWorkHook(std::function<void()> hook);

}  // namespace app
