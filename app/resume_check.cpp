#include "app/resume_check.h"

#include <set>
#include <string>
#include <vector>

#include "host/export/bids_names.h"
#include "host/export/bids_unfinished.h"
#include "host/io/disk_interface.h"
#include "host/record/checksum.h"
#include "host/record/run_recorder.h"

namespace cohortix::app {
namespace {

namespace fs = std::filesystem;
using host::record::RecordedOption;
using host::record::RunRecord;

// Options that name where files go or how the command talks, not what the
// dataset holds; the control file and the profile are compared by their bytes.
const std::set<std::string> kNotCompared = {"control-file", "--output", "--bids",  "--quiet",
                                            "--force",      "--resume", "--noise", "--verify-truth",
                                            "--no-native",  "--nifti",  "--report"};

std::string shown(const RecordedOption& option) {
  if (option.flag) return option.on ? "on" : "off";
  if (option.values.empty()) return "nothing";
  std::string text;
  for (const std::string& value : option.values) text += (text.empty() ? "" : " ") + value;
  return text;
}

bool same(const RecordedOption& a, const RecordedOption& b) {
  return a.flag ? a.on == b.on : a.values == b.values;
}

// The checksum of the file an option names now; "" for none.
host::Result<std::string> checksumNamed(const RecordedOption* option) {
  if (option == nullptr || option->values.empty() || option->values.front().empty()) return std::string();
  host::Result<host::record::FileChecksum> file = host::record::fileChecksum(option->values.front());
  if (!file) return file.status();
  return file->checksum;
}

std::string recordedChecksum(const RunRecord& record, const std::string& option) {
  if (option == "control-file") return record.controlFile ? record.controlFile->checksum : "";
  for (const auto& profile : record.profiles)
    if (profile.option == option) return profile.checksum;
  return "";
}

// A file of the record's against the one this run names, by checksum.
host::Status sameFile(const RunRecord& record, const std::string& name, const RecordedOption* named,
                      const std::string& what) {
  host::Result<std::string> now = checksumNamed(named);
  if (!now) return now.status();
  const std::string then = recordedChecksum(record, name);
  if (now.value() == then) return host::Status::ok();
  return host::Status::error(then.empty()  ? "it was begun without " + what
                             : now->empty() ? "it was begun with " + what
                                            : "it was begun with another " + what + " (XXH128 " + then +
                                                  ", this run's " + now.value() + ")");
}

host::Status sameFiles(const RunRecord& record, const RunRecord& asked, const fs::path& controlFile) {
  const RecordedOption control{"control-file", {controlFile.string()}, false, false, true};
  if (host::Status same = sameFile(record, "control-file", &control, "control file"); !same) return same;
  return sameFile(record, "--noise", asked.option("--noise"), "noise profile");
}

host::Status sameOptions(const RunRecord& record, const RunRecord& asked) {
  for (const RecordedOption& then : record.options) {
    if (kNotCompared.count(then.name) != 0) continue;
    const RecordedOption* now = asked.option(then.name);
    if (now == nullptr || same(then, *now)) continue;
    return host::Status::error("it was begun with " + then.name + " " + shown(then) + ", this run asks " +
                               shown(*now));
  }
  return host::Status::ok();
}

host::Status listedSubjects(const fs::path& bidsDir, const SimulationDesign& design) {
  host::RealDiskInterface disk;
  host::Result<std::set<std::string>> listed = host::participantsListed(disk, bidsDir);
  if (!listed) return listed.status();
  std::set<std::string> study;
  for (int32_t n = 1; n <= design.NrOfSubjects; ++n)
    study.insert(host::bidsSubjectId(host::bidsSubjectLabel(n, design.NrOfSubjects)));
  for (const std::string& id : listed.value())
    if (study.count(id) == 0)
      return host::Status::error("its participants.tsv lists " + id + ", a subject the study does not have");
  return host::Status::ok();
}



// Every subject file the record lists and the dataset still holds has the bytes
// the run wrote; a file missing is made again.
host::Status keptSubjectsUnchanged(const fs::path& bidsDir, const RunRecord& record) {
  for (const host::record::RecordedFile& file : record.files) {
    if (file.output != "bids" || !isSubjectFile(file.path)) continue;
    const fs::path path = bidsDir / file.path;
    std::error_code error;
    if (!fs::is_regular_file(path, error)) continue;
    host::Result<host::record::FileChecksum> now = host::record::fileChecksum(path);
    if (!now) return now.status().context("cannot read " + path.string());
    if (now->checksum != file.checksum || now->bytes != file.bytes)
      return host::Status::error(file.path + " is not the file its run wrote: its checksum differs from the "
                                 "run's record");
  }
  return host::Status::ok();
}

}  // namespace

bool isSubjectFile(const std::string& path) {
  const std::size_t derived = path.starts_with("derivatives/") ? path.find('/', 12) : std::string::npos;
  const std::string below = derived == std::string::npos ? path : path.substr(derived + 1);
  return below.starts_with("sub-") && below.find('/') != std::string::npos;
}

host::Status resumeMatches(const fs::path& bidsDir, const RunRecord& asked, const fs::path& controlFile,
                           const SimulationDesign& design) {
  if (!host::markedUnfinished(bidsDir)) return host::Status::ok();  // the dataset's opening says why
  const auto refused = [&](const host::Status& why) {
    return host::Status::error("cannot resume the BIDS dataset in " + bidsDir.string() + ": " + why.message());
  };
  if (host::Status listed = listedSubjects(bidsDir, design); !listed) return refused(listed);
  const fs::path path = host::record::findRunRecord(bidsDir);
  if (path.empty()) return host::Status::ok();
  host::RealDiskInterface disk;
  host::Result<RunRecord> record = host::record::readRunRecord(path, disk);
  if (!record) return refused(record.status());
  if (host::Status files = sameFiles(record.value(), asked, controlFile); !files) return refused(files);
  if (host::Status options = sameOptions(record.value(), asked); !options) return refused(options);
  if (host::Status kept = keptSubjectsUnchanged(bidsDir, record.value()); !kept) return refused(kept);
  return host::Status::ok();
}

}  // namespace cohortix::app
