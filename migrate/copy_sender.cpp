#include "migrate/copy_sender.h"

namespace migrate {

void CopySender::start(PGconn* conn) {
  conn_ = conn;
  stopping_ = false;
  drain_ = true;
  failed_ = false;
  error_.clear();
  queue_.clear();
  thread_ = std::thread([this] { run(); });
}

bool CopySender::send(std::string& chunk) {
  std::unique_lock<std::mutex> lock(m_);
  changed_.wait(lock, [this] { return failed_ || queue_.size() < kQueued; });
  if (failed_) return false;
  queue_.push_back(std::move(chunk));
  chunk.clear();
  if (!spare_.empty()) {
    chunk = std::move(spare_.back());
    spare_.pop_back();
  }
  chunk.clear();
  chunk.reserve(kChunk + 64 * 1024);
  changed_.notify_all();
  return true;
}

void CopySender::run() {
  std::unique_lock<std::mutex> lock(m_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty() || (stopping_ && !drain_)) return;
    std::string chunk = std::move(queue_.front());
    queue_.pop_front();
    changed_.notify_all();
    lock.unlock();
    bool ok = PQputCopyData(conn_, chunk.data(), static_cast<int>(chunk.size())) == 1;
    std::string why = ok ? "" : PQerrorMessage(conn_);
    lock.lock();
    if (!ok) {
      failed_ = true;
      error_ = why;
      changed_.notify_all();
      return;
    }
    chunk.clear();
    if (spare_.size() < kQueued) spare_.push_back(std::move(chunk));
  }
}

void CopySender::stop(bool drain) noexcept {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(m_);
    stopping_ = true;
    drain_ = drain;
    changed_.notify_all();
  }
  thread_.join();
  queue_.clear();
}

bool CopySender::finish() {
  stop(true);
  std::lock_guard<std::mutex> lock(m_);
  return !failed_;
}

void CopySender::abandon() noexcept { stop(false); }

std::string CopySender::error() {
  std::lock_guard<std::mutex> lock(m_);
  return error_;
}

}  // namespace migrate
