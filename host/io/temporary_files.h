#pragma once
// The temporary files of the writes under way, so that an interrupted run can
// remove them all and stop every write before the process ends. A temporary is
// created, renamed into place and removed under one lock: abandon() never meets
// one half made or half renamed, and once it has returned no file reaches a final
// name any more.

#include <functional>
#include <mutex>
#include <set>
#include <string>

namespace cohortix::host {

class TemporaryFiles {
 public:
  // Calls create() under the lock and keeps `temporary` when it returns true.
  // False with errno ECANCELED, without calling create, once abandoned. A file
  // that a library will create by name later is kept with a create() that only
  // returns true.
  bool create(const std::string& temporary, const std::function<bool()>& create);

  // Renames a kept temporary to its final name; 0, or the errno of the failure
  // (ECANCELED when abandoned meanwhile), the temporary then being gone.
  int renameIntoPlace(const std::string& temporary, const std::string& final);

  // Removes a kept temporary and forgets it.
  void discard(const std::string& temporary);

  // Removes every kept temporary and refuses every later create and rename.
  void abandon();

 private:
  std::mutex mutex_;
  std::set<std::string> kept_;
  bool abandoned_ = false;
};

}  // namespace cohortix::host
