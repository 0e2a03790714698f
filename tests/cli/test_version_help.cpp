// --version and --help of both programs: the version is the project's
// (the same three numbers as the window title), both exit 0 and need no
// database and no display.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "support/test_support.h"

namespace {

// The VERSION of the project() line in the top-level CMakeLists.txt.
std::string projectVersion() {
  std::ifstream in(std::string(GLIMMER_SOURCE_DIR) + "/CMakeLists.txt");
  std::stringstream ss;
  ss << in.rdbuf();
  std::smatch m;
  std::string text = ss.str();
  if (!std::regex_search(text, m, std::regex(R"(project\(\s*\w+\s+VERSION\s+([0-9]+\.[0-9]+\.[0-9]+))")))
    return "";
  return m[1];
}

}  // namespace

TEST(VersionAndHelp, CliPrintsTheProjectVersionAndItsCommands) {
  std::string version = projectVersion();
  ASSERT_FALSE(version.empty());
  std::string cli = testsupport::binDir() + "/glimmer-cli";
  std::string out;
  ASSERT_EQ(testsupport::run(cli + " --version", &out), 0);
  EXPECT_EQ(out, "glimmer-cli (Brackwell Glimmer For Access) " + version + "\n");
  ASSERT_EQ(testsupport::run(cli + " --help", &out), 0);
  for (const char* cmd : {"tables FILE", "schema FILE", "rows FILE", "queries FILE", "export FILE",
                          "sql FILE", "check FILE", "create FILE", "sample FILE", "import FILE"})
    EXPECT_NE(out.find(cmd), std::string::npos) << cmd;
  EXPECT_NE(out.find("--version"), std::string::npos);
}

TEST(VersionAndHelp, DesktopProgramAnswersWithoutADisplay) {
  std::string glimmer = testsupport::binDir() + "/glimmer";
  if (!std::ifstream(glimmer)) GTEST_SKIP() << "the desktop program is not built";
  std::string version = projectVersion();
  std::string out;
  // No display at all: the answer must come before the window system is touched.
  ASSERT_EQ(testsupport::run("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= " + glimmer + " --version", &out), 0);
  EXPECT_EQ(out, "glimmer (Brackwell Glimmer For Access) " + version + "\n");
  ASSERT_EQ(testsupport::run("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= " + glimmer + " --help", &out), 0);
  EXPECT_NE(out.find("usage: glimmer [FILE]"), std::string::npos);
  EXPECT_NE(out.find("--screenshots DIR"), std::string::npos);
}
