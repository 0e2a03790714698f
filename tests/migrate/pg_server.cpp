#include "pg_server.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "support/test_support.h"

namespace migratetest {

namespace {

namespace fs = std::filesystem;

std::string findBin() {
  const char* roots[] = {"/usr/lib/postgresql"};
  for (const char* r : roots) {
    std::error_code ec;
    for (const auto& v : fs::directory_iterator(r, ec))
      if (fs::exists(v.path() / "bin" / "pg_ctl")) return (v.path() / "bin").string();
  }
  return "";
}

struct Server {
  std::string bin, dir, prefix, why;
  bool up = false;
  int databases = 0;

  explicit Server(bool durable) {
    bin = findBin();
    if (bin.empty()) { why = "PostgreSQL server binaries are not installed"; return; }
    char tmpl[] = "/tmp/glimmer-pg-XXXXXX";
    if (!mkdtemp(tmpl)) { why = "no temporary folder"; return; }
    dir = tmpl;
    // The server refuses to run as root.
    if (geteuid() == 0) {
      const char* user = testsupport::run("id -u postgres >/dev/null 2>&1") == 0 ? "postgres" : "nobody";
      testsupport::run(std::string("chown ") + user + " " + dir);
      prefix = std::string("runuser -u ") + user + " -- ";
    }
    std::string data = dir + "/data";
    if (testsupport::run(prefix + bin + "/initdb -D " + data + " -A trust -U postgres -E UTF8 --locale=C" +
                         (durable ? "" : " --no-sync") + " >" +
                         dir + "/initdb.log 2>&1") != 0) {
      why = "initdb failed (" + dir + "/initdb.log)";
      return;
    }
    std::string opts = "-c listen_addresses='' -k " + dir;
    if (!durable) opts += " -c fsync=off -c full_page_writes=off";
    if (testsupport::run(prefix + bin + "/pg_ctl -D " + data + " -w -l " + dir + "/server.log -o \"" + opts +
                         "\" start >/dev/null 2>&1") != 0) {
      why = "the server did not start (" + dir + "/server.log)";
      return;
    }
    up = true;
  }
  ~Server() {
    if (up) testsupport::run(prefix + bin + "/pg_ctl -D " + dir + "/data -m fast -w stop >/dev/null 2>&1");
    if (!dir.empty()) {
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
  }
};

Server& server(bool durable) {
  if (durable) {
    static Server s(true);
    return s;
  }
  static Server s(false);
  return s;
}

}  // namespace

std::string pgDatabase(std::string* why, bool durable) {
  Server& s = server(durable);
  if (!s.up) {
    if (why) *why = s.why;
    return "";
  }
  std::string name = "t" + std::to_string(++s.databases);
  std::string base = "host=" + s.dir + " user=postgres";
  if (testsupport::run(s.prefix + s.bin + "/psql \"" + base + " dbname=postgres\" -q -c 'CREATE DATABASE " + name +
                       "' >/dev/null 2>&1") != 0) {
    if (why) *why = "CREATE DATABASE failed";
    return "";
  }
  return base + " dbname=" + name;
}

}  // namespace migratetest
