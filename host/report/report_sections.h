#pragma once
// The sections of the study report and what they share: the run, its design and
// colours, the geometry of the box and its regions, and the subjects chosen to
// stand for the study where showing every subject would be too much.

#include <optional>
#include <string>
#include <vector>

#include "host/io/status.h"
#include "host/report/anatomy_background.h"
#include "host/report/label_map.h"
#include "host/report/palette.h"
#include "host/report/report_inputs.h"
#include "host/report/series_summary.h"
#include "host/report/study_run.h"

namespace cohortix::host {

class DiskInterface;

// At most this many subjects have their data read: the first of each group.
inline constexpr std::size_t kMaxRepresentativeSubjects = 4;
// At most this many subjects' protocols are drawn.
inline constexpr std::size_t kMaxTimelineSubjects = 40;

// The subject whose file a section could not read, for a report that leaves
// damaged subjects out (ReportInputs::skipDamaged).
struct SubjectFault {
  const SubjectFiles* subject = nullptr;
  std::string why;
};

struct ReportContext {
  const ReportInputs& inputs;
  const StudyRun& run;
  const SimulationDesign& design;
  DiskInterface& disk;
  StudyColours colours;
  SeriesHeader series;                     // the first subject's: box, volumes, TR
  VTCBox box;
  std::vector<VoxelIndex> centres;         // the regions' centres before jitter
  LabelMap labels;                         // the regions before jitter
  std::vector<const SubjectFiles*> representatives;
  SubjectFault* fault = nullptr;           // told which subject a failure is about
  // The first subject's anatomy under the study's slices; empty without one.
  AnatomyBackground anatomy;
};

struct Section {
  std::string id;
  std::string title;
  std::string hint;  // one line: what to look for
  std::string body;
};

Result<Section> studySection(const ReportContext& context);
Result<Section> designSection(const ReportContext& context);
Result<Section> truthSection(const ReportContext& context);
Result<Section> dataSection(const ReportContext& context);
Result<Section> resultsSection(const ReportContext& context);
// Only for a run with motion truth.
Result<std::optional<Section>> motionSection(const ReportContext& context);

// A subject's file refused: `why` with the subject named, the subject noted as
// the one at fault.
Status subjectFailure(const ReportContext& context, const SubjectFiles& subject, const Status& why);

// Shared pieces of HTML.
std::string colourSwatch(Rgb colour, const std::string& label);
std::string htmlTable(const std::vector<std::string>& header,
                      const std::vector<std::vector<std::string>>& rows,
                      const std::string& caption, const std::string& cssClass = "");
// The cells' colours and names as a list; with rest, its colour too.
inline constexpr Rgb kRestColour{225, 225, 225};
std::string cellLegend(const ReportContext& context, bool withRest);
// Seconds of 1-based volume v's start: (v - 1) x TR.
double volumeStart(const ReportContext& context, double volume);

}  // namespace cohortix::host
