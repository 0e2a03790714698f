// Hands COPY data to libpq on a thread of its own, so that the rows of the
// next chunk are read and encoded while the server takes the previous one:
// the thread that fills chunks never waits on the socket unless the server
// is a whole queue behind. The queue is bounded (a few chunks), so memory
// stays flat whatever the table's size.
//
// Between start() and finish() (or abandon()) the connection belongs to the
// sender's thread: the caller must not use it.
#pragma once

#include <libpq-fe.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace migrate {

class CopySender {
 public:
  static constexpr size_t kChunk = 256 * 1024;  // bytes a chunk holds before it is queued
  static constexpr size_t kQueued = 4;          // chunks waiting at most

  ~CopySender() { abandon(); }

  void start(PGconn* conn);
  // Queues chunk (left empty, with its capacity kept, for the next rows).
  // Returns false when sending has failed (see error()); chunk is then left
  // as it was.
  bool send(std::string& chunk);
  // Waits until every queued chunk is sent and stops the thread. False when
  // sending failed.
  bool finish();
  // Stops the thread without sending what is still queued. Never throws.
  void abandon() noexcept;
  // libpq's message when sending failed.
  std::string error();

 private:
  void run();
  void stop(bool drain) noexcept;

  PGconn* conn_ = nullptr;
  std::thread thread_;
  std::mutex m_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  std::vector<std::string> spare_;  // sent chunks, kept for their capacity
  bool stopping_ = false, drain_ = true, failed_ = false;
  std::string error_;
};

}  // namespace migrate
