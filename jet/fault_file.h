// A FileIO that fails on purpose: it passes everything through to another
// file until a set number of writes (or reads) has happened, then either
// throws an I/O error or ends the process on the spot (crash tests run the write in a child
// process and look at what it left behind). The failing write can be torn:
// only its first half reaches the file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "jet/file_io.h"

namespace jet {

struct FaultPlan {
  enum class Action { Throw, Exit };
  // The write with this 1-based number fails; 0 never fails. Writes to every
  // file sharing the plan count together (database and journal).
  uint64_t failAtWrite = 0;
  Action action = Action::Throw;
  bool tornWrite = false;   // the failing write leaves its first half behind
  int exitCode = 77;
  // Every write from failAtWrite on fails, not just that one (the undoing of
  // a failed change then fails too).
  bool failLaterWrites = false;
  // Reads: the read with this 1-based number fails, and the readFailures - 1
  // reads after it; 0 never fails.
  uint64_t failAtRead = 0;
  uint64_t readFailures = 1;
  uint64_t reads = 0;       // reads seen so far
  uint64_t writes = 0;      // writes seen so far
  uint64_t syncs = 0;
};

std::unique_ptr<FileIO> faultyFile(std::unique_ptr<FileIO> inner, std::shared_ptr<FaultPlan> plan);

// Wraps every file a database opens (the database file and its journal).
using FileWrapper = std::function<std::unique_ptr<FileIO>(std::unique_ptr<FileIO>)>;
FileWrapper faultWrapper(std::shared_ptr<FaultPlan> plan);

}  // namespace jet
