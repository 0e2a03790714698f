#include "support/test_support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "jet/database.h"
#include "jet/error.h"

namespace fs = std::filesystem;

namespace testsupport {

std::string sharedDir() {
  const char* env = std::getenv("GLIMMER_SHARED");
  std::string dir = env ? env : GLIMMER_SHARED_DIR;
  if (fs::exists(fs::path(dir) / "fixtures")) return fs::canonical(dir).string();
  return "";
}

std::string fixture(const std::string& rel) {
  std::string s = sharedDir();
  if (s.empty()) return "";
  return s + "/fixtures/" + rel;
}

std::vector<std::string> allFixtures() {
  std::vector<std::string> out;
  std::string s = sharedDir();
  if (s.empty()) return out;
  for (const char* sub : {"jet3", "jet4", "ace"}) {
    fs::path d = fs::path(s) / "fixtures" / sub;
    if (!fs::exists(d)) continue;
    for (auto& e : fs::directory_iterator(d))
      out.push_back(std::string(sub) + "/" + e.path().filename().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::unique_ptr<jet::Database> openFixture(const std::string& rel) {
  try {
    return jet::Database::open(fixture(rel));
  } catch (const jet::Error&) {
    return nullptr;
  }
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

namespace {

// The folders tempDir() made, removed when the process that made them ends
// (a forked child leaves them to its parent). GLIMMER_KEEP_TEST_FILES keeps
// them for a look after a failure.
struct TempDirs {
  pid_t owner = ::getpid();
  std::vector<std::string> dirs;
  ~TempDirs() {
    if (::getpid() != owner || std::getenv("GLIMMER_KEEP_TEST_FILES")) return;
    std::error_code ec;
    for (const auto& d : dirs) fs::remove_all(d, ec);
  }
};

TempDirs& tempDirs() {
  static TempDirs dirs;
  return dirs;
}

}  // namespace

std::string tempDir() {
  std::string base = (fs::temp_directory_path() / "glimmer-test-XXXXXX").string();
  std::vector<char> buf(base.begin(), base.end());
  buf.push_back('\0');
  char* d = ::mkdtemp(buf.data());
  if (!d) return std::string("/tmp");
  tempDirs().dirs.emplace_back(d);
  return std::string(d);
}

std::string copyToTemp(const std::string& path) {
  std::string dst = tempDir() + "/" + fs::path(path).filename().string();
  fs::copy_file(path, dst, fs::copy_options::overwrite_existing);
  fs::permissions(dst, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  return dst;
}

int run(const std::string& cmd, std::string* out) {
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  int st = ::pclose(p);
  if (out) *out = std::move(text);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string binDir() { return GLIMMER_BIN_DIR; }

bool haveCommand(const std::string& name) {
  return run("command -v " + name + " >/dev/null 2>&1") == 0;
}

int errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

}  // namespace testsupport
