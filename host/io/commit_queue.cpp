#include "host/io/commit_queue.h"

#include <system_error>

namespace cohortix::host {

CommitQueue::CommitQueue(std::size_t limit) : limit_(limit > 0 ? limit : 1) {
  try {
    worker_ = std::thread([this] { work(); });
  } catch (const std::system_error&) {
    // No thread to be had: every file takes its last steps as it is pushed.
  }
}

CommitQueue::~CommitQueue() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void CommitQueue::push(Commit commit) {
  if (!worker_.joinable()) {
    Status done = commit();
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!done) failures_.push_back(std::move(done));
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return queue_.size() < limit_; });
  queue_.push_back(std::move(commit));
  changed_.notify_all();
}

// Stopping, it still finishes what is queued: those files were written whole.
void CommitQueue::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Commit commit = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    Status done = commit();
    lock.lock();
    if (!done) failures_.push_back(std::move(done));
    busy_ = false;
    changed_.notify_all();
  }
}

void CommitQueue::drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return queue_.empty() && !busy_; });
}

std::vector<Status> CommitQueue::settle() {
  drain();
  const std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Status> failures = std::move(failures_);
  failures_.clear();
  return failures;
}

}  // namespace cohortix::host
