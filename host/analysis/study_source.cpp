#include "host/analysis/study_source.h"

#include <algorithm>
#include <map>
#include <regex>
#include <system_error>

#include "control/condition_names.h"
#include "host/analysis/analysis_truth.h"
#include "host/analysis/bids_tables.h"
#include "host/analysis/events_design.h"
#include "host/analysis/nifti_reader.h"
#include "host/formats/rtc_format.h"
#include "host/formats/vtc_format.h"
#include "host/io/disk_interface.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

Result<std::string> fileText(DiskInterface& disk, const fs::path& file) {
  Result<std::string> text = disk.readFile(file);
  if (!text) return text.status().context("cannot read " + file.string());
  return text;
}

Result<std::vector<fs::path>> entriesOf(const fs::path& folder) {
  std::error_code error;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    entries.push_back(it->path());
  if (error) return Status::error(error.message()).context("cannot read " + folder.string());
  std::sort(entries.begin(), entries.end());
  return entries;
}

cohortix::VTCBox boxOfFile(const VTCFile& file) {
  return {file.fields[5], file.fields[6], file.fields[7], file.fields[8],
          file.fields[9], file.fields[10], file.fields[11]};
}

// --- A run's output folder -------------------------------------------------------

class RunFolderSource : public StudySource {
 public:
  RunFolderSource(fs::path folder, DiskInterface& disk) : folder_(std::move(folder)), disk_(disk) {}

  Status scan() {
    Result<std::vector<fs::path>> entries = entriesOf(folder_);
    if (!entries) return entries.status();
    static const std::regex pattern(R"(S([0-9]+)_G([0-9]+)_(.*)\.vtc)");
    struct Found {
      long long subject;
      long long group;
      std::string stem;
    };
    std::vector<Found> found;
    std::vector<std::string> experiments;
    for (const fs::path& entry : entries.value()) {
      std::smatch match;
      const std::string name = entry.filename().string();
      if (!std::regex_match(name, match, pattern)) continue;
      found.push_back({std::stoll(match[1]), std::stoll(match[2]), entry.stem().string()});
      if (std::find(experiments.begin(), experiments.end(), match[3]) == experiments.end())
        experiments.push_back(match[3]);
    }
    if (found.empty())
      return Status::error(folder_.string() + " holds no subject's volume time course "
                           "(S<n>_G<g>_<Experiment>.vtc)");
    if (experiments.size() > 1)
      return Status::error(folder_.string() + " holds the files of several studies (\"" +
                           experiments[0] + "\", \"" + experiments[1] + "\"); analyse one per folder");
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.subject < b.subject; });
    std::map<long long, int32_t> groups;
    for (const Found& subject : found) groups.emplace(subject.group, 0);
    for (auto& [number, index] : groups) {
      index = static_cast<int32_t>(groupNames_.size());
      groupNames_.push_back("G" + std::to_string(number));
    }
    for (const Found& subject : found)
      subjects_.push_back({subject.stem, groups.at(subject.group), folder_ / (subject.stem + ".vtc")});
    return Status::ok();
  }

  const std::vector<SubjectEntry>& subjects() const override { return subjects_; }
  const std::vector<std::string>& groupNames() const override { return groupNames_; }

  Result<StudySubject> load(std::size_t index) override {
    const std::string& stem = subjects_.at(index).name;
    const fs::path vtcPath = folder_ / (stem + ".vtc");
    const fs::path rtcPath = folder_ / (stem + ".rtc");
    Result<std::string> rtcText = fileText(disk_, rtcPath);
    if (!rtcText) return rtcText.status();
    StudySubject subject;
    Result<DesignMatrix> matrix = parseDesignMatrix(rtcText.value(), rtcPath.string());
    if (!matrix) return matrix.status();
    subject.predictors = std::move(matrix.value().predictors);
    rtcText = std::string();
    Result<std::string> bytes = fileText(disk_, vtcPath);
    if (!bytes) return bytes.status();
    Result<VTCFile> parsed = parseVTCFile(bytes.value(), vtcPath.string());
    if (!parsed) return parsed.status();
    bytes = std::string();
    VTCFile& vtc = parsed.value();
    subject.volumes = vtc.nrOfVolumes();
    subject.repetitionTime = vtc.repetitionTime;
    const cohortix::VTCBox box = boxOfFile(vtc);
    subject.grid.dims = {vtc.dims.x, vtc.dims.y, vtc.dims.z};
    subject.grid.affine = talairachAffine(box);
    subject.data = std::move(vtc.data);
    if (!subject.predictors.empty() &&
        static_cast<int64_t>(subject.predictors[0].values.size()) != subject.volumes)
      return Status::error(rtcPath.string() + " has " +
                           std::to_string(subject.predictors[0].values.size()) + " volumes, " +
                           vtcPath.filename().string() + " " + std::to_string(subject.volumes));
    if (Status motion = loadMotionRegressors(index, disk_, subject); !motion) return motion;
    return subject;
  }

  fs::path motionTruthFile(std::size_t index) const override {
    return folder_ / (subjects_.at(index).name + "_truth_motion.tsv");
  }

 private:
  fs::path folder_;
  DiskInterface& disk_;
  std::vector<SubjectEntry> subjects_;
  std::vector<std::string> groupNames_;
};

// --- A BIDS dataset ---------------------------------------------------------------

class BidsDatasetSource : public StudySource {
 public:
  BidsDatasetSource(fs::path root, DiskInterface& disk, bool fromEvents)
      : root_(std::move(root)), disk_(disk), fromEvents_(fromEvents) {
    // The cells' order, for designs built from events: the control file's.
    if (Result<std::unique_ptr<SimulationDesign>> design = readRunDesign(root_, {}); design)
      for (int32_t c = 0; c < design.value()->NrOfWithinCells; ++c)
        cells_.push_back(conditionName(*design.value(), c));
  }

  Status scan() {
    const fs::path table = root_ / "participants.tsv";
    Result<std::string> text = fileText(disk_, table);
    if (!text) return text.status();
    Result<std::vector<Participant>> participants = parseParticipants(text.value(), table.string());
    if (!participants) return participants.status();
    for (const Participant& participant : participants.value()) {
      auto known = std::find(groupNames_.begin(), groupNames_.end(), participant.group);
      if (known == groupNames_.end()) known = groupNames_.insert(groupNames_.end(), participant.group);
      // Where the bold volume is, when it can be found; load() says why when not.
      Result<fs::path> bold = boldOf(participant.id);
      subjects_.push_back({participant.id, static_cast<int32_t>(known - groupNames_.begin()),
                           bold ? bold.value() : fs::path()});
    }
    return Status::ok();
  }

  const std::vector<SubjectEntry>& subjects() const override { return subjects_; }
  const std::vector<std::string>& groupNames() const override { return groupNames_; }

  Result<StudySubject> load(std::size_t index) override {
    const std::string& id = subjects_.at(index).name;
    Result<fs::path> bold = boldOf(id);
    if (!bold) return bold.status();
    const std::string stem = bold.value().filename().string().substr(
        0, bold.value().filename().string().find("_bold.nii"));
    if (Status inside = insideDataset(bold.value()); !inside) return inside;
    Result<NiftiVolume> image = readNifti(bold.value());
    if (!image) return image.status();
    Result<std::vector<Predictor>> predictors = designOf(id, stem, image.value());
    if (!predictors) return predictors.status();
    StudySubject subject;
    subject.predictors = std::move(predictors.value());
    subject.volumes = image.value().volumes;
    subject.repetitionTime = image.value().repetitionTime;
    subject.grid = {image.value().dims, image.value().affine};
    subject.data = timeFastest(image.value());
    if (Status motion = loadMotionRegressors(index, disk_, subject); !motion) return motion;
    return subject;
  }

  // Beside the run's design table, under the dataset's derivatives.
  fs::path motionTruthFile(std::size_t index) const override {
    const SubjectEntry& subject = subjects_.at(index);
    const std::string name = subject.data.filename().string();
    return root_ / "derivatives" / "cohortix" / subject.name / "func" /
           (name.substr(0, name.find("_bold.nii")) + "_desc-motion_timeseries.tsv");
  }

 private:
  // A file of the dataset, however it is reached, must lie inside it: a symbolic
  // link out of it (to another subject's data, to a device) is refused.
  Status insideDataset(const fs::path& file) const {
    std::error_code error;
    const fs::path root = fs::canonical(root_, error);
    const fs::path target = error ? fs::path() : fs::weakly_canonical(file, error);
    if (error) return Status::error("cannot read " + file.string() + ": " + error.message());
    const auto [end, unused] = std::mismatch(root.begin(), root.end(), target.begin(), target.end());
    if (end != root.end())
      return Status::error("cannot read " + file.string() + ": it leads outside the dataset, to " + target.string());
    return Status::ok();
  }

  Result<fs::path> boldOf(const std::string& id) {
    const fs::path func = root_ / id / "func";
    Result<std::vector<fs::path>> entries = entriesOf(func);
    if (!entries) return entries.status();
    for (const fs::path& entry : entries.value()) {
      const std::string name = entry.filename().string();
      if (name.ends_with("_bold.nii") || name.ends_with("_bold.nii.gz")) return entry;
    }
    return Status::error(func.string() + " holds no bold volume (*_bold.nii or *_bold.nii.gz)");
  }

  // The run's design table, or, where it is missing (or asked for), the design
  // built from its events table.
  Result<std::vector<Predictor>> designOf(const std::string& id, const std::string& stem,
                                          const NiftiVolume& image) {
    const fs::path designPath =
        root_ / "derivatives" / "cohortix" / id / "func" / (stem + "_desc-design_timeseries.tsv");
    std::error_code error;
    if (!fromEvents_ && fs::exists(designPath, error)) {
      if (Status inside = insideDataset(designPath); !inside) return inside;
      Result<std::string> design = fileText(disk_, designPath);
      if (!design) return design.status();
      return parseDesignTable(design.value(), designPath.string());
    }
    const fs::path eventsPath = root_ / id / "func" / (stem + "_events.tsv");
    if (Status inside = insideDataset(eventsPath); !inside) return inside;
    Result<std::string> events = fileText(disk_, eventsPath);
    if (!events) return events.status();
    return designFromEvents(events.value(), eventsPath.string(), image.volumes, image.repetitionTime, cells_);
  }

  fs::path root_;
  DiskInterface& disk_;
  bool fromEvents_ = false;
  std::vector<std::string> cells_;  // from the dataset's control file, when it has one
  std::vector<SubjectEntry> subjects_;
  std::vector<std::string> groupNames_;
};

}  // namespace

fs::path StudySource::motionRegressorFile(std::size_t index, const MotionRegressorSetting& setting) const {
  if (setting.source == MotionRegressorSetting::Source::Truth) return motionTruthFile(index);
  return host::motionRegressorFile(setting.pattern, subjects().at(index).name);
}

Status StudySource::loadMotionRegressors(std::size_t index, DiskInterface& disk, StudySubject& subject) const {
  if (!motion_.enabled()) return Status::ok();
  const fs::path file = motionRegressorFile(index, motion_);
  Result<std::string> text = fileText(disk, file);
  if (!text) return text.status();
  Result<NuisanceRegressors> regressors = parseMotionRegressors(text.value(), file.string(), subject.volumes);
  if (!regressors) return regressors.status();
  subject.nuisance = std::move(regressors.value());
  return Status::ok();
}

Result<std::unique_ptr<StudySource>> runFolderSource(const fs::path& folder, DiskInterface& disk) {
  auto source = std::make_unique<RunFolderSource>(folder, disk);
  if (Status status = source->scan(); !status) return status;
  return std::unique_ptr<StudySource>(std::move(source));
}

Result<std::unique_ptr<StudySource>> bidsDatasetSource(const fs::path& root, DiskInterface& disk,
                                                       bool designFromEvents) {
  auto source = std::make_unique<BidsDatasetSource>(root, disk, designFromEvents);
  if (Status status = source->scan(); !status) return status;
  return std::unique_ptr<StudySource>(std::move(source));
}

Result<std::unique_ptr<StudySource>> studySource(const fs::path& folder, DiskInterface& disk,
                                                 bool designFromEvents) {
  std::error_code error;
  if (!fs::is_directory(folder, error))
    return Status::error(folder.string() + " is not a folder");
  if (fs::exists(folder / "dataset_description.json", error))
    return bidsDatasetSource(folder, disk, designFromEvents);
  return runFolderSource(folder, disk);
}

}  // namespace cohortix::host
