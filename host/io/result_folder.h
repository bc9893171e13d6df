#pragma once
// A command's result put into its folder as one set. The folder is locked for the
// command's whole life (a second command into it is refused, told which process
// holds it); the result is written into a staging folder inside it and put in
// place only when whole: the earlier result's entries are moved out first, then
// the new ones in, so no reader ever finds two results' files mixed. A folder
// holding an earlier result is refused unless forced; files that are no part of a
// result are left alone. What an earlier command killed half-way left (its staging
// or replaced folder) is removed when the next one takes the lock.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/io/folder_lock.h"
#include "host/io/status.h"

namespace cohortix::host {

struct ResultKind {
  std::string what;                  // "an analysis", for messages
  std::vector<std::string> markers;  // any of them present: an earlier result is there
  std::vector<std::string> entries;  // every file and folder a result consists of
  // false: the command writes in place, each file whole, after removeEarlier().
  bool staged = true;
};

class ResultFolder {
 public:
  // Creates and locks `folder`, clears what a killed command left in it, and refuses
  // it, naming the marker found, when it holds an earlier result and `force` is false.
  static Result<ResultFolder> open(const std::filesystem::path& folder, ResultKind kind, bool force);

  ResultFolder(ResultFolder&& other) noexcept;
  ResultFolder& operator=(ResultFolder&&) = delete;
  ResultFolder(const ResultFolder&) = delete;
  ResultFolder& operator=(const ResultFolder&) = delete;
  // The staging folder goes unless the result was committed.
  ~ResultFolder();

  // The staging folder this process uses in `folder`, known before open() makes it.
  static std::filesystem::path stagingIn(const std::filesystem::path& folder);
  // Where the command writes its result.
  const std::filesystem::path& staging() const { return staging_; }
  // Replaces the earlier result's entries by the staged ones.
  Status commit();
  // Unstaged: removes the earlier result's entries, so that what follows is never
  // mixed with them.
  Status removeEarlier();

 private:
  ResultFolder(std::filesystem::path folder, ResultKind kind, FolderLock lock);

  std::filesystem::path folder_;
  std::filesystem::path staging_;
  ResultKind kind_;
  std::optional<FolderLock> lock_;
  bool replacing_ = false;  // an earlier result is there, to be moved out
};

}  // namespace cohortix::host
