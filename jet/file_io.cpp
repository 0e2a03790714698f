#include "jet/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "jet/error.h"

namespace jet {
namespace {

class PosixFile : public FileIO {
 public:
  PosixFile(int fd, std::string path, bool ro) : fd_(fd), path_(std::move(path)), ro_(ro) {}
  ~PosixFile() override { ::close(fd_); }

  uint64_t size() const override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
  }
  void readAt(uint64_t off, uint8_t* buf, size_t n) override {
    while (n > 0) {
      ssize_t r = ::pread(fd_, buf, n, static_cast<off_t>(off));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) throw Error(err::kCorrupt, "The database file is damaged: a page lies beyond the end of the file.");
      buf += r; off += static_cast<uint64_t>(r); n -= static_cast<size_t>(r);
    }
  }
  void writeAt(uint64_t off, const uint8_t* buf, size_t n) override {
    if (ro_) throw Error(err::kCannotOpenFile, "The file is open read-only.");
    while (n > 0) {
      ssize_t w = ::pwrite(fd_, buf, n, static_cast<off_t>(off));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) throw Error(err::kIoError, std::string("Disk error while writing: ") + std::strerror(errno));
      buf += w; off += static_cast<uint64_t>(w); n -= static_cast<size_t>(w);
    }
  }
  void truncate(uint64_t sz) override {
    if (::ftruncate(fd_, static_cast<off_t>(sz)) != 0)
      throw Error(err::kIoError, std::string("Disk error while truncating: ") + std::strerror(errno));
  }
  void sync() override {
    if (!ro_ && ::fsync(fd_) != 0)
      throw Error(err::kIoError, std::string("Disk error while syncing: ") + std::strerror(errno));
  }
  bool readOnly() const override { return ro_; }
  std::string path() const override { return path_; }

 private:
  int fd_;
  std::string path_;
  bool ro_;
};

class MemFile : public FileIO {
 public:
  MemFile(std::vector<uint8_t> b, bool ro) : bytes_(std::move(b)), ro_(ro) {}
  uint64_t size() const override { return bytes_.size(); }
  void readAt(uint64_t off, uint8_t* buf, size_t n) override {
    if (off > bytes_.size() || n > bytes_.size() - off)
      throw Error(err::kCorrupt, "The database file is damaged: a page lies beyond the end of the file.");
    std::memcpy(buf, bytes_.data() + off, n);
  }
  void writeAt(uint64_t off, const uint8_t* buf, size_t n) override {
    if (ro_) throw Error(err::kCannotOpenFile, "The file is open read-only.");
    if (off + n > bytes_.size()) bytes_.resize(off + n);
    std::memcpy(bytes_.data() + off, buf, n);
  }
  void truncate(uint64_t sz) override { bytes_.resize(sz); }
  void sync() override {}
  bool readOnly() const override { return ro_; }

 private:
  std::vector<uint8_t> bytes_;
  bool ro_;
};

}  // namespace

std::unique_ptr<FileIO> openFile(const std::string& path, bool readOnly) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    throw Error(err::kFileNotFound, "Could not find file '" + path + "'.");
  if (S_ISDIR(st.st_mode))
    throw Error(err::kCannotOpenFile, "'" + path + "' is a folder, not a database file.");
  int fd = -1;
  bool ro = readOnly;
  if (!ro) {
    fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) ro = true;
  }
  if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    throw Error(err::kCannotOpenFile, "Could not open file '" + path + "': " + std::strerror(errno) + ".");
  return std::make_unique<PosixFile>(fd, path, ro);
}

std::unique_ptr<FileIO> createFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    throw Error(err::kCannotOpenFile, "Could not create file '" + path + "': " + std::strerror(errno) + ".");
  return std::make_unique<PosixFile>(fd, path, false);
}

std::unique_ptr<FileIO> memoryFile(std::vector<uint8_t> bytes, bool readOnly) {
  return std::make_unique<MemFile>(std::move(bytes), readOnly);
}

bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

void removeFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace jet
