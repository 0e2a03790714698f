// A whole migration: the plan read from the source database carried into a
// target in one transaction (tables, rows, indexes, auto-number counters,
// foreign keys, views), with progress while rows stream and a summary of what
// was carried and what was not, with reasons.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jet/database.h"
#include "migrate/plan.h"
#include "migrate/target.h"

namespace migrate {

struct Progress {
  std::string table;
  uint64_t rows = 0;       // rows of this table done
  uint64_t total = 0;      // rows the table holds
  double seconds = 0;      // since this table's rows started
  bool done = false;       // the table's last report
};

struct Options {
  std::vector<std::string> tables;  // empty: every user table (and the views)
  bool schemaOnly = false;
  bool dataOnly = false;             // tables must already exist in the target
  bool replace = false;              // drop target tables and views of the same names
  std::function<void(const Progress&)> progress;
  // Called before each row is written (tests inject failures here).
  std::function<void(const std::string& table, uint64_t row)> beforeRow;
};

struct Summary {
  size_t tables = 0;
  uint64_t rows = 0;
  size_t indexes = 0;
  size_t foreignKeys = 0;
  size_t views = 0;
  std::vector<Skipped> notCarried;
  double seconds = 0;
};

// Runs the migration. On failure the target is rolled back and the error
// rethrown (jet::Error).
Summary migrateDatabase(jet::Database& db, Target& target, const Options& opts);

// Opens the target a TARGET argument names: sqlite:PATH, or a PostgreSQL
// connection string (postgresql://..., postgres://..., or key=value pairs).
std::unique_ptr<Target> openTarget(const std::string& spec, const std::string& pgSchema);

// The summary as printed by the command line.
std::string summaryText(const Summary& s);

}  // namespace migrate
