#include "host/export/bids_unfinished.h"

#include <sstream>
#include <system_error>

#include "host/io/disk_interface.h"

namespace cohortix::host {

namespace fs = std::filesystem;

fs::path unfinishedMarkerOf(const fs::path& root) {
  return root / "derivatives" / "cohortix" / "cohortix-incomplete";
}

std::string unfinishedMarkerText() {
  return "The run writing this dataset has not finished: it was interrupted or failed, and "
         "participants.tsv lists the subjects written so far. Run the same command with "
         "--resume to write the rest; this file goes when the last subject is written.\n";
}

std::string unfinishedReadme(const std::string& readme) {
  return readme +
         "\nINCOMPLETE: this dataset is unfinished (see "
         "derivatives/cohortix/cohortix-incomplete).\n";
}

bool markedUnfinished(const fs::path& root) {
  std::error_code error;
  return fs::is_regular_file(unfinishedMarkerOf(root), error);
}

Result<std::set<std::string>> participantsListed(DiskInterface& disk, const fs::path& root) {
  const fs::path table = root / "participants.tsv";
  std::error_code error;
  if (!fs::exists(table, error)) return std::set<std::string>();
  const Result<std::string> text = disk.readFile(table);
  if (!text) return text.status().context("cannot read " + table.string());
  std::istringstream lines(text.value());
  std::set<std::string> ids;
  std::string line;
  std::getline(lines, line);  // the header
  while (std::getline(lines, line))
    if (!line.empty()) ids.insert(line.substr(0, line.find('\t')));
  return ids;
}

}  // namespace cohortix::host
