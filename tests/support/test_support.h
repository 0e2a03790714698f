// Helpers shared by the test programs: where the fixtures are, temporary
// folders, running glimmer-cli.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace jet {
class Database;
}

namespace testsupport {

// ../shared beside the source tree, or "" when absent.
std::string sharedDir();
// Path of a fixture such as "jet4/testV2000.mdb"; "" when ../shared is absent.
std::string fixture(const std::string& rel);
// Every fixture database, relative to fixtures/ ("jet3/x.mdb", ...).
std::vector<std::string> allFixtures();
// The fixture opened (as a plain open does), or null when it does not open
// (keys, damage: those are tested on their own).
std::unique_ptr<jet::Database> openFixture(const std::string& rel);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
// A fresh, empty temporary folder, removed with what it holds when the
// process ends normally (GLIMMER_KEEP_TEST_FILES=1 keeps it).
std::string tempDir();
// Copies a file, returning the copy's path (writable).
std::string copyToTemp(const std::string& path);
// Runs a shell command; returns exit status and fills out with stdout.
int run(const std::string& cmd, std::string* out = nullptr);
std::string binDir();
bool haveCommand(const std::string& name);
// The engine's error number f throws (jet::Error), 0 when it throws nothing.
int errorOf(const std::function<void()>& f);

}  // namespace testsupport

#define SKIP_WITHOUT_SHARED()                                                   \
  do {                                                                          \
    if (testsupport::sharedDir().empty())                                       \
      GTEST_SKIP() << "../shared (fixtures) is not beside the source tree";     \
  } while (0)
