#pragma once
// Files written whole under their temporary names wait here for the last steps:
// flush, close, rename into place. A thread of the queue's own takes them one
// after the other, in the order they came, while the writers go on with the next
// files. The disk then always has work queued and the writers never wait on it,
// and a file still comes under its final name only once its bytes are on the
// disk, after every file written before it.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "host/io/status.h"

namespace cohortix::host {

class CommitQueue {
 public:
  // The last steps of one file: its fate, an error naming the file.
  using Commit = std::function<Status()>;

  // At most `limit` files wait at once (each holds a descriptor): push() waits
  // for room beyond that.
  explicit CommitQueue(std::size_t limit = 32);
  // Finishes every file queued.
  ~CommitQueue();
  CommitQueue(const CommitQueue&) = delete;
  CommitQueue& operator=(const CommitQueue&) = delete;

  // Queues the file's last steps; runs them here and now when the queue has no
  // thread.
  void push(Commit commit);
  // Waits until every file queued so far is through.
  void drain();
  // drain(), then the failures since the last call, in the order they happened.
  std::vector<Status> settle();

 private:
  void work();

  std::size_t limit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Commit> queue_;
  bool busy_ = false;
  bool stopping_ = false;
  std::vector<Status> failures_;
  std::thread worker_;
};

}  // namespace cohortix::host
