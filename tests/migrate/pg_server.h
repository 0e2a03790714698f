// A PostgreSQL server of the tests' own: initdb into a temporary folder,
// listening on a Unix socket there only, run as an unprivileged user when
// the tests run as root, stopped when the program ends.
#pragma once

#include <string>

namespace migratetest {

// The connection string of a fresh database on the shared test server, or
// "" when the server binaries are absent or it would not start (why says).
// The tests' server skips flushing to disk (fsync, full-page writes off);
// durable: a second server with a stock configuration, which flushes as a
// user's server does (benchmarks).
std::string pgDatabase(std::string* why, bool durable = false);

}  // namespace migratetest
