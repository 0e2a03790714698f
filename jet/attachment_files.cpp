#include "jet/attachment_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "jet/complex.h"
#include "jet/error.h"
#include "jet/text.h"

namespace jet {
namespace {

[[noreturn]] void ioError(const std::string& what, const std::string& path) {
  throw Error(err::kIoError, "The " + what + " '" + path + "' could not be made: " + std::strerror(errno) + ".");
}

// Makes dir (one level) unless it is a folder already; links are refused.
void makeFolder(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0777) == 0) return;
  if (errno != EEXIST) ioError("folder", dir);
  struct stat st{};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    ioError("folder", dir);
  }
}

void writeNewFile(const std::string& path, const std::string& data) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) ioError("file", path);
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int saved = errno;
      ::close(fd);
      errno = saved ? saved : ENOSPC;
      ioError("file", path);
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) ioError("file", path);
}

// name, or name with " (k)" before its extension, whichever is free in used.
std::string freeName(const std::string& name, std::set<std::string>& used) {
  std::string candidate = name;
  size_t dot = name.rfind('.');
  if (dot == 0 || dot == std::string::npos) dot = name.size();
  for (int k = 2; !used.insert(upperName(candidate)).second; ++k)
    candidate = name.substr(0, dot) + " (" + std::to_string(k) + ")" + name.substr(dot);
  return candidate;
}

}  // namespace

std::vector<WrittenAttachment> writeAttachments(Database& db, const std::string& table,
                                                const std::string& outDir) {
  auto def = db.table(table);
  ComplexReader complex(db, def);
  std::vector<size_t> cols;
  for (size_t i = 0; i < def->columns.size(); ++i)
    if (def->columns[i].rawType == coltype::kComplex && complex.kind(i) == ComplexKind::Attachment)
      cols.push_back(i);
  if (cols.empty())
    throw Error(err::kItemNotFound, "The table '" + def->name + "' has no attachment field.");
  int keyCol = -1;
  for (const auto& ix : def->indexes)
    if (ix.primary() && ix.realIndex >= 0 && def->realOf(ix).columns.size() == 1)
      keyCol = def->realOf(ix).columns[0].column;

  makeFolder(outDir);
  std::vector<WrittenAttachment> out;
  std::set<std::string> rowFolders;
  auto scan = db.scan(def->name);
  uint64_t rowNo = 0;
  while (scan->next()) {
    ++rowNo;
    std::string rowName;
    if (keyCol >= 0) {
      Value k = scan->value(static_cast<size_t>(keyCol));
      std::string safe;
      if (!k.isNull() && safeFileName(def->columns[static_cast<size_t>(keyCol)].name + " " + k.display(), safe))
        rowName = safe;
    }
    if (rowName.empty()) rowName = "row " + std::to_string(rowNo);
    bool made = false;
    for (size_t col : cols) {
      auto files = complex.attachments(col, scan->value(col));
      if (files.empty()) continue;
      if (!made) {
        rowName = freeName(rowName, rowFolders);
        makeFolder(outDir + "/" + rowName);
        made = true;
      }
      std::string rel = rowName;
      if (cols.size() > 1) {
        std::string colName;
        if (!safeFileName(def->columns[col].name, colName)) colName = "field " + std::to_string(col + 1);
        rel += "/" + colName;
        makeFolder(outDir + "/" + rel);
      }
      std::set<std::string> used;
      for (const auto& a : files) {
        std::string name;
        if (!safeFileName(a.name, name)) name = "attachment";
        name = freeName(name, used);
        writeNewFile(outDir + "/" + rel + "/" + name, a.data);
        out.push_back(WrittenAttachment{rel + "/" + name, a.data.size()});
      }
    }
  }
  return out;
}

}  // namespace jet
