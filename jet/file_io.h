// File access behind one small interface, so the pager can run on a real file,
// on memory (tests, fuzzing) or on a file that fails on purpose (crash tests).
// Reads past the end of the file fail; they never return stale bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace jet {

class FileIO {
 public:
  virtual ~FileIO() = default;
  virtual uint64_t size() const = 0;
  // Reads exactly n bytes at off; throws jet::Error when the range is not in
  // the file or the read fails.
  virtual void readAt(uint64_t off, uint8_t* buf, size_t n) = 0;
  virtual void writeAt(uint64_t off, const uint8_t* buf, size_t n) = 0;
  virtual void truncate(uint64_t size) = 0;
  virtual void sync() = 0;
  virtual bool readOnly() const = 0;
  virtual std::string path() const { return {}; }
};

// Opens an existing file. Tries read-write unless readOnly is set; a file that
// cannot be opened for writing is opened read-only. Throws 3024 when missing,
// 3051 when it cannot be opened at all.
std::unique_ptr<FileIO> openFile(const std::string& path, bool readOnly);
// Creates (or truncates) a file for writing.
std::unique_ptr<FileIO> createFile(const std::string& path);
// Whole-file contents in memory; the buffer is owned by the object.
std::unique_ptr<FileIO> memoryFile(std::vector<uint8_t> bytes, bool readOnly = false);

bool fileExists(const std::string& path);
void removeFile(const std::string& path);

}  // namespace jet
