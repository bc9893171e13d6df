#include "app/recorded_groups.h"

#include <charconv>
#include <optional>
#include <string>
#include <vector>

#include "control/control_file_reader.h"
#include "host/io/disk_interface.h"
#include "host/record/restored_copy.h"
#include "host/record/run_recorder.h"
#include "host/session/group_names.h"

namespace cohortix::app {
namespace {

class RenamedGroups : public host::StudySource {
 public:
  RenamedGroups(std::unique_ptr<host::StudySource> source, std::vector<std::string> names)
      : source_(std::move(source)), names_(std::move(names)) {}
  const std::vector<host::SubjectEntry>& subjects() const override { return source_->subjects(); }
  const std::vector<std::string>& groupNames() const override { return names_; }
  host::Result<host::StudySubject> load(std::size_t index) override { return source_->load(index); }
  std::filesystem::path motionTruthFile(std::size_t index) const override {
    return source_->motionTruthFile(index);
  }
  void setMotionRegressors(host::MotionRegressorSetting setting) override {
    source_->setMotionRegressors(std::move(setting));
  }

 private:
  std::unique_ptr<host::StudySource> source_;
  std::vector<std::string> names_;
};

using Levels = std::optional<std::vector<std::string>>;

// The between-subject factor's level names of the record's study; none when there
// is no record, it keeps no control file or its study has no such factor. A
// record that is there but damaged is refused.
host::Result<Levels> recordedLevels(const std::filesystem::path& run) {
  const std::filesystem::path path = host::record::findRunRecord(run);
  if (path.empty() || path.parent_path().filename() == "code") return Levels();
  host::RealDiskInterface disk;
  const host::Result<host::record::RunRecord> record = host::record::readRunRecord(path, disk);
  if (!record) return record.status();
  if (!record->controlFile) return Levels();
  const host::Result<host::record::RestoredCopy> control =
      host::record::RestoredCopy::of(*record->controlFile, record.value());
  if (!control) return Levels();
  auto design = std::make_unique<SimulationDesign>();  // far too large for the stack
  std::string message;
  if (!parseControlFile(control->path().c_str(), *design, message) ||
      design->NrOfBetweenFactors < 1)
    return Levels();
  return Levels(host::groupNamesOf(*design));
}

}  // namespace

host::Result<std::unique_ptr<host::StudySource>> withRecordedGroupNames(
    std::unique_ptr<host::StudySource> source, const std::filesystem::path& run) {
  const host::Result<Levels> recorded = recordedLevels(run);
  if (!recorded) return recorded.status();
  const Levels& levels = recorded.value();
  if (!levels) return source;
  // The native source names each group it found "G<number>".
  std::vector<std::string> names;
  for (const std::string& name : source->groupNames()) {
    std::size_t number = 0;
    if (name.size() > 1 && name[0] == 'G')
      std::from_chars(name.data() + 1, name.data() + name.size(), number);
    if (number < 1 || number > levels->size() || (*levels)[number - 1].empty()) return source;
    names.push_back((*levels)[number - 1]);
  }
  return std::unique_ptr<host::StudySource>(std::make_unique<RenamedGroups>(std::move(source), std::move(names)));
}

}  // namespace cohortix::app
