#include "jet/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace jet {

WriterLock::~WriterLock() {
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
}

std::unique_ptr<WriterLock> WriterLock::tryAcquire(const std::string& path, std::string* why) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (why) *why = std::string("cannot open the file to lock it: ") + std::strerror(errno);
    return nullptr;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int e = errno;
    ::close(fd);
    if (why)
      *why = e == EWOULDBLOCK ? "another program has it open for changes"
                              : std::string("it cannot be locked: ") + std::strerror(e);
    return nullptr;
  }
  return std::unique_ptr<WriterLock>(new WriterLock(fd));
}

}  // namespace jet
