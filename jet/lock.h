// One writer at a time. A database opened for writing holds an exclusive
// advisory lock (flock) on the file for as long as it is open; a second
// writer, in this process or another, does not get it and opens the file
// read-only instead. Readers take no lock.
#pragma once

#include <memory>
#include <string>

namespace jet {

class WriterLock {
 public:
  ~WriterLock();
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;
  // Tries to take the lock; nullptr when another writer holds it (or the
  // file cannot be locked at all, in which case *why says so).
  static std::unique_ptr<WriterLock> tryAcquire(const std::string& path, std::string* why = nullptr);

 private:
  explicit WriterLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace jet
