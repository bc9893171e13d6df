#include "host/report/study_report.h"

#include "host/report/recorded_inputs.h"

#include <cmath>

#include "host/io/disk_interface.h"
#include "host/report/html_text.h"
#include "host/report/report_page.h"
#include "host/report/report_sections.h"

namespace cohortix::host {
namespace {

std::vector<const SubjectFiles*> representativesOf(const StudyRun& run) {
  std::vector<const SubjectFiles*> chosen;
  for (const SubjectFiles& subject : run.subjects) {
    if (chosen.size() == kMaxRepresentativeSubjects) break;
    if (chosen.empty() || chosen.back()->g != subject.g) chosen.push_back(&subject);
  }
  return chosen;
}

// The first subject's data must have the study's box and length: anything else
// means the control file is not the one the run was made from. A header that
// cannot be read is the subject's fault.
Result<SeriesHeader> seriesOf(const StudyRun& run, SubjectFault& fault) {
  const SubjectFiles& first = run.subjects.front();
  Result<SeriesHeader> header = readSeriesHeader(first.data);
  if (!header) {
    fault = {&first, header.status().message()};
    return header.status().context("subject " + first.name);
  }
  const SimulationDesign& d = *run.design;
  const cohortix::VTCDims expected = vtcDims(vtcBoxOf(d));
  const VTCDims& found = header->dims;
  const auto shape = [](int32_t x, int32_t y, int32_t z, int32_t volumes) {
    return std::to_string(x) + " x " + std::to_string(y) + " x " + std::to_string(z) + " voxels and " +
           std::to_string(volumes) + " volumes";
  };
  if (found.x != expected.DimX || found.y != expected.DimY || found.z != expected.DimZ ||
      header->volumes != d.NrOfVolumes)
    return Status::error(first.data.string() + " does not belong to the study of the control file: it has " +
                         shape(found.x, found.y, found.z, header->volumes) + ", the study " +
                         shape(expected.DimX, expected.DimY, expected.DimZ, d.NrOfVolumes));
  if (!(header->repetitionTime > 0) || !std::isfinite(header->repetitionTime))
    return Status::error(first.data.string() + ": expected a positive repetition time, found " +
                         std::to_string(header->repetitionTime));
  return header;
}

// The page of the run's subjects as they are; a failure to read a subject's file
// names the subject in `fault`.
Result<std::string> pageOf(const ReportInputs& inputs, const StudyRun& run, DiskInterface& disk,
                           SubjectFault& fault) {
  Result<SeriesHeader> series = seriesOf(run, fault);
  if (!series) return series.status();
  const SimulationDesign& design = *run.design;
  const std::vector<VoxelIndex> centres = designRegionCentres(design);
  Result<AnatomyBackground> anatomy = subjectAnatomy(run, run.subjects.front(), vtcBoxOf(design));
  if (!anatomy) return anatomy.status();
  ReportContext context{inputs,
                        run,
                        design,
                        disk,
                        studyColours(design),
                        series.value(),
                        vtcBoxOf(design),
                        centres,
                        regionLabelMap(design, series->dims, centres),
                        representativesOf(run),
                        &fault,
                        std::move(anatomy).value()};
  std::vector<Section> sections;
  for (const auto make : {studySection, designSection, truthSection, dataSection}) {
    Result<Section> section = make(context);
    if (!section) return section.status();
    sections.push_back(std::move(section).value());
  }
  Result<std::optional<Section>> motion = motionSection(context);
  if (!motion) return motion.status();
  if (motion.value()) sections.push_back(std::move(*motion.value()));
  Result<Section> results = resultsSection(context);
  if (!results) return results.status();
  sections.push_back(std::move(results).value());
  const std::string subtitle = "A simulated group fMRI study with a known ground truth, " +
                               std::to_string(run.subjects.size()) + " subjects in " +
                               htmlText(run.root.string()) + ".";
  return reportPage(std::string("Study report: ") + design.ExperimentName, subtitle, sections);
}

}  // namespace

Result<std::string> studyReportHtml(const ReportInputs& given, DiskInterface& disk,
                                    std::vector<std::string>* leftOut) {
  ReportInputs inputs = given;
  std::optional<record::RestoredCopy> control;
  if (!inputs.recorded)
    if (Status recorded = takeRunRecord(inputs, control, disk); !recorded) return recorded;
  Result<StudyRun> opened = openStudyRun(inputs.runFolder, inputs.controlFile, disk);
  if (!opened) return opened.status();
  if (!inputs.controlShown.empty()) opened.value().controlFile = inputs.controlShown;
  StudyRun& run = opened.value();
  // A damaged subject is found where the page first reads its files: with
  // skipDamaged it is left out, said so, and the page made again without it.
  for (;;) {
    SubjectFault fault;
    Result<std::string> page = pageOf(inputs, run, disk, fault);
    if (page && leftOut != nullptr)
      leftOut->insert(leftOut->end(), run.damagedSubjects.begin(), run.damagedSubjects.end());
    if (page || !inputs.skipDamaged || fault.subject == nullptr) return page;
    const std::size_t at = static_cast<std::size_t>(fault.subject - run.subjects.data());
    run.damagedSubjects.push_back(fault.subject->name + ": " + fault.why);
    run.subjects.erase(run.subjects.begin() + static_cast<std::ptrdiff_t>(at));
    if (run.subjects.empty())
      return Status::error("no subject left to show: the files of every one are damaged (" +
                           run.damagedSubjects.front() + ")");
  }
}

Status writeStudyReport(const ReportInputs& inputs, const std::filesystem::path& output, DiskInterface& disk) {
  Result<std::string> html = studyReportHtml(inputs, disk);
  if (!html) return html.status().context("cannot make the report of " + inputs.runFolder.string());
  const std::string_view parts[] = {html.value()};
  return disk.writeFile(output, parts).context("cannot write " + output.string());
}

Status writeStudyReport(const ReportInputs& inputs, const std::filesystem::path& output) {
  RealDiskInterface disk;
  return writeStudyReport(inputs, output, disk);
}

}  // namespace cohortix::host
