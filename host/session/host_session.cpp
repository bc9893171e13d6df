#include "host/session/host_session.h"

#include "host/io/disk_interface.h"

namespace cohortix::host {
namespace {

HostSession* gCurrentSession = nullptr;

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

std::size_t voxelsOf(const VTCDocument* vtc) {
  if (vtc == nullptr) return 0;
  const VTCDims dims = vtc->dims();
  return static_cast<std::size_t>(dims.x) * static_cast<std::size_t>(dims.y) *
         static_cast<std::size_t>(dims.z);
}

int subjectsIn(const SessionOptions& options) {
  return options.study ? static_cast<int>(options.study->size()) : 0;
}

}  // namespace

HostSession* currentHostSession() { return gCurrentSession; }
void setCurrentHostSession(HostSession* session) { gCurrentSession = session; }

HostSession::HostSession(SessionOptions options, std::ostream& log, std::ostream& messages)
    : HostSession(std::move(options), log, messages, std::make_unique<RealDiskInterface>(), nullptr) {}

HostSession::HostSession(SessionOptions options, std::ostream& log, std::ostream& messages,
                         DiskInterface& disk)
    : HostSession(std::move(options), log, messages, nullptr, &disk) {}

HostSession::HostSession(SessionOptions options, std::ostream& log, std::ostream& messages,
                         std::unique_ptr<DiskInterface> ownDisk, DiskInterface* disk)
    : options_(std::move(options)),
      ownDisk_(std::move(ownDisk)),
      disk_(ownDisk_ ? *ownDisk_ : *disk),
      progress_(messages, options_.showProgress, subjectsIn(options_), {},
                options_.showProgress ? Progress::Width(terminalWidth) : Progress::Width()),
      reporter_(log, messages, progress_, options_.quiet),
      files_(disk_, options_.outputDir, reporter_, progress_),
      nativeWriter_(disk_, options_.outputDir, options_.writeNative),
      output_(files_, nativeWriter_, progress_, options_.study, options_.repetitionTime),
      reports_([this] { return voxelsOf(documents_.vtc.get()); }),
      context_{options_, documents_, reporter_, files_, output_, reports_},
      general_(context_, progress_),
      protocols_(context_),
      designMatrices_(std::make_unique<DesignMatrixService>(context_, protocols_)),
      vtcs_(std::make_unique<VTCService>(context_)) {
  // Every file the disk writes, native or export, counts.
  progress_.countBytesWith([this] { return disk_.written().bytes; });
  // A few times a second: the clock moves on while a subject is simulated.
  progress_.tick(std::chrono::milliseconds(250));
  if (!options_.writeNative) files_.keepInMemory();
  if (options_.selection) output_.select(*options_.selection);
}

HostSession::~HostSession() = default;

void HostSession::noteCall(const std::string& call) {
  if (options_.recordCalls) calls_.push_back(call);
}

bool HostSession::prepareOutputFolder() {
  if (!options_.writeNative) return true;  // nothing goes there
  const Status made = files_.makeFolder();
  return made ? true : reporter_.refuse(made);
}

std::string HostSession::summary() const { return progress_.summary(disk_.written().files); }

bool HostSession::finish() {
  output_.finish();
  progress_.finish();
  const std::vector<std::string>& missing = files_.notWritten();
  if (missing.empty()) return true;
  reporter_.report(std::to_string(missing.size()) + " of the run's files could not be written: " +
                   joined(missing));
  return false;
}

}  // namespace cohortix::host
