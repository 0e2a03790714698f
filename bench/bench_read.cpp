// Read-side benchmark: exporting table Big of big200k.mdb to CSV with
// glimmer-cli and with mdbtools' mdb-export (same machine, same run), peak
// memory of each, and the time to open the file and list its tables with
// row counts.
//
//   bench_read [path/to/big200k.mdb] [path/to/glimmer-cli]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "jet/database.h"

namespace {

struct RunResult {
  double seconds = 0;
  long maxRssKb = 0;
  int status = -1;
};

RunResult runToDevNull(const std::string& cmd) {
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int st = 0;
  struct rusage ru {};
  wait4(pid, &st, 0, &ru);
  RunResult r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.maxRssKb = ru.ru_maxrss;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  std::string file = argc > 1 ? argv[1] : std::string(GLIMMER_SHARED_DIR) + "/bench/big200k.mdb";
  std::string cli = argc > 2 ? argv[2] : std::string(GLIMMER_BIN_DIR) + "/glimmer-cli";
  if (access(file.c_str(), R_OK) != 0) {
    std::printf("skipped: %s not found\n", file.c_str());
    return 0;
  }
  // Warm the page cache so both readers start equal.
  runToDevNull("cat '" + file + "'");
  // Best of five runs each, alternating, so that a busy moment on a shared
  // machine does not decide the ratio.
  auto faster = [](const RunResult& a, const RunResult& b) { return b.seconds < a.seconds ? b : a; };
  RunResult ours, theirs;
  ours.seconds = theirs.seconds = 1e9;
  for (int i = 0; i < 5; ++i) {
    ours = faster(ours, runToDevNull("'" + cli + "' export '" + file + "' Big"));
    theirs = faster(theirs, runToDevNull("mdb-export '" + file + "' Big"));
  }
  std::printf("export Big to CSV (best of 5): glimmer-cli %.3f s (peak %ld MB), mdb-export %.3f s (peak %ld MB)\n",
              ours.seconds, ours.maxRssKb / 1024, theirs.seconds, theirs.maxRssKb / 1024);
  if (ours.status != 0 || theirs.status != 0)
    std::printf("warning: exit status glimmer-cli %d, mdb-export %d\n", ours.status, theirs.status);
  if (ours.seconds > 0)
    std::printf("ratio: glimmer-cli is %.1fx faster than mdb-export (target: >= 10x)\n",
                theirs.seconds / ours.seconds);

  // Open and list tables with row counts, best of several runs.
  double best = 1e9;
  size_t tables = 0;
  for (int i = 0; i < 20; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    jet::OpenOptions o;
    o.readOnly = true;
    auto db = jet::Database::open(file, o);
    uint64_t rows = 0;
    tables = 0;
    for (const auto* e : db->tables(true)) {
      if (!e->isTable()) continue;
      rows += db->table(*e)->rowCount;
      ++tables;
    }
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
    if (rows == 0) std::printf("warning: no rows counted\n");
  }
  std::printf("open + list %zu tables with row counts: %.3f ms (target: < 5 ms)\n", tables, best * 1000);
  return 0;
}
