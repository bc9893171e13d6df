#pragma once
// The temporary files of the writes under way. Every file the host writes is made
// under a temporary name beside its final one and renamed when whole: the prefix
// ".cohortix-", five random characters, '-' and the final name
// (".cohortix-a8Zq1-S1_G1_Study.vtc"). The name is random, so no one can plant a
// file or a link under it beforehand, and it tells whose file it was, so a later
// run can remove what a killed one left.
//
// TemporaryFiles keeps the temporaries of this process, so that an interrupted run
// can remove them all and stop every write before the process ends. A temporary is
// created, renamed into place and removed under one lock: abandon() never meets one
// half made or half renamed, and once it has returned no file reaches a final name
// any more.

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

namespace cohortix::host {

inline constexpr char kTemporaryPrefix[] = ".cohortix-";
// What a temporary name adds to the final name: the prefix, the random part, '-'.
inline constexpr std::size_t kTemporaryNameExtraBytes = sizeof kTemporaryPrefix - 1 + 5 + 1;

// A fresh temporary name beside `final`.
std::filesystem::path temporaryNameFor(const std::filesystem::path& final);

// The final name that a temporary's file name stands for; empty when the name is no
// temporary of ours.
std::string finalNameOf(std::string_view temporaryName);

// Removes the temporaries that processes which ended before finishing them (a
// killed run) left in folder, of the final names `wanted` accepts. A temporary that
// a live process is still writing stays: its writer holds the file's lock. Returns
// how many were removed.
int removeLeftoverTemporaries(const std::filesystem::path& folder,
                              const std::function<bool(std::string_view finalName)>& wanted);

class TemporaryFiles {
 public:
  // Calls create() under the lock and keeps `temporary` when it returns true.
  // False with errno ECANCELED, without calling create, once abandoned.
  bool create(const std::string& temporary, const std::function<bool()>& create);

  // Gives a kept temporary its final name with rename() (0, or -1 with errno set);
  // 0, or the errno of the failure (ECANCELED when abandoned meanwhile), the
  // temporary then being gone.
  int renameIntoPlace(const std::string& temporary, const std::function<int()>& rename);

  // Removes a kept temporary and forgets it.
  void discard(const std::string& temporary);

  // Removes every kept temporary and refuses every later create and rename.
  void abandon();
  bool abandoned() const { return abandoned_; }

 private:
  std::mutex mutex_;
  std::set<std::string> kept_;
  std::atomic<bool> abandoned_{false};
};

}  // namespace cohortix::host
