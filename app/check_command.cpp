#include "app/check_command.h"

#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "app/design_summary.h"
#include "app/design_warnings.h"
#include "app/region_places.h"
#include "app/run_admission.h"
#include "control/control_file_reader.h"
#include "control/supported_design.h"
#include "control/vtc_geometry.h"
#include "host/documents/two_gamma_hrf.h"
#include "host/motion/acquisition_profile.h"
#include "host/noise/noise_model.h"
#include "host/noise/noise_profile_file.h"
#include "host/noise/noise_run_settings.h"
#include "host/noise/noise_stage.h"
#include "simulation/run_texts.h"

namespace cohortix::app {
namespace {

struct CheckOptions {
  std::string path;
  bool strict = false;
  bool json = false;
  bool anatomy = false;
  std::string noise;  // a noise profile whose statistics to forecast
  double repetitionTime = 2.0;
};

// Enough of a file to tell text from binary data without reading a large one.
constexpr std::size_t kSniffedBytes = 65536;

// Why the file's first bytes are not text (a NUL or a control character other than
// white space), or empty: its tokens would otherwise be shown as raw bytes.
std::string notTextReason(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string head(kSniffedBytes, '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(file.gcount()));
  for (std::size_t i = 0; i < head.size(); ++i) {
    const auto byte = static_cast<unsigned char>(head[i]);
    if (byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\v' ||
        byte == '\f')
      continue;
    static const char kHex[] = "0123456789abcdef";
    return path + " is not a text file (byte 0x" + kHex[byte >> 4] + kHex[byte & 15] +
           " at offset " + std::to_string(i) + "); a control file is plain text";
  }
  return {};
}

ExitStatus refuse(const std::string& message) {
  std::cerr << message << '\n';
  return ExitStatus::RunFailed;
}

// What the data of a run with `--noise` will read, for the study's geometry; the
// profile's refusal otherwise.
host::Result<std::string> noiseForecastOf(const CheckOptions& options, const SimulationDesign& design) {
  host::Result<host::noise::NoiseProfile> profile = host::noise::readNoiseProfile(options.noise);
  if (!profile) return profile.status();
  const host::noise::NoiseGeometry geometry = host::noise::geometryOfStudy(design, options.repetitionTime);
  host::Result<host::noise::NoiseModel> model = host::noise::NoiseModel::prepare(profile.value(), geometry);
  if (!model)
    return model.status().context("cannot add the noise of " + options.noise + " to " + options.path);
  host::noise::NoiseRunSettings settings;
  settings.profileName = std::filesystem::path(options.noise).filename().string();
  settings.profile = profile.value();
  settings.components = model.value().components();
  return host::noise::noiseForecastNote(settings, geometry, design.NoiseSDPercent);
}

// The [motion] and [slices] of the profile as a run with --anatomy would have
// them ("" when it has neither); refused where the study cannot have them.
host::Result<std::string> acquisitionNoteOf(const CheckOptions& options, const SimulationDesign& design) {
  host::Result<host::motion::AcquisitionProfile> profile = host::motion::readAcquisitionProfile(options.noise);
  if (!profile) return profile.status();
  host::Result<host::motion::RunAcquisition> run = host::motion::resolveAcquisition(
      &profile.value(), {}, vtcDims(vtcBoxOf(design)).DimZ, options.repetitionTime, true);
  if (!run) return run.status();
  std::ostringstream note;
  if (run.value().motion) note << "the head moves (" << run.value().motion->name << " motion, needs --anatomy)";
  if (const auto& slices = run.value().slices) {
    note << (run.value().motion ? "; " : "") << "slices " << run.value().sliceOrderName;
    if (slices->multiband > 1) note << ", " << slices->multiband << " at once";
    note << ", acquired in " << slices->acquisitionTime.value_or(options.repetitionTime) << " s of the "
         << options.repetitionTime << " s TR";
  }
  return note.str();
}

ExitStatus checkControlFile(const CheckOptions& options) {
  const std::string& path = options.path;
  // Before any byte is read: a FIFO or a device must not hold the check.
  if (const host::Status readable = regularFileOrAbsent(path); !readable)
    return reportError(readable.message()), ExitStatus::RunFailed;
  if (const std::string reason = notTextReason(path); !reason.empty())
    return refuse("cohortix: " + reason);
  // The design is far too large for the stack.
  auto design = std::make_unique<SimulationDesign>();
  std::string message;
  std::vector<TokenSpan> spans;
  if (!parseControlFile(path.c_str(), *design, message, spans)) {
    // The reader's own texts name no place; the second line names the item.
    const std::string place = placeOfRefusal(path, message, spans);
    return refuse(place.empty() ? message : message + '\n' + place);
  }
  std::vector<DesignFinding> findings = designFindings(path, *design, spans);
  std::ostringstream places;
  if (options.anatomy)
    if (const host::Status placed = placeRegions(*design, spans, places, findings); !placed)
      return refuse("cohortix: " + placed.message());
  bool refused = false;
  std::vector<std::string> warnings;
  for (const DesignFinding& finding : findings) {
    const bool refusal = finding.kind == DesignFinding::Kind::Refusal ||
                         finding.kind == DesignFinding::Kind::ExportRefusal;
    if (refusal) std::cerr << located(path, finding) << '\n';
    else warnings.push_back(located(path, finding));
    refused = refused || refusal;
  }
  if (refused) return ExitStatus::RunFailed;
  std::string noiseNote;
  if (!options.noise.empty()) {
    host::Result<std::string> note = noiseForecastOf(options, *design);
    if (!note) return refuse("cohortix: " + note.status().message());
    noiseNote = "noise: " + note.value();
    host::Result<std::string> acquisition = acquisitionNoteOf(options, *design);
    if (!acquisition) return refuse("cohortix: " + acquisition.status().message());
    if (!acquisition.value().empty()) noiseNote += "\nacquisition: " + acquisition.value();
  }
  if (options.json) printDesignJson(std::cout, *design, warnings);
  else printDesignSummary(std::cout, *design, true);
  if (!options.json) std::cout << places.str();
  if (!noiseNote.empty()) (options.json ? std::cerr : std::cout) << noiseNote << '\n';
  for (const std::string& warning : warnings) std::cerr << "warning: " << warning << '\n';
  // The reader lets such a design through; the run stops it at its first subject.
  if (!supportedDesign(*design)) return refuse(texts::kUnsupportedDesign);
  if (options.strict && !warnings.empty()) return ExitStatus::RunFailed;
  return ExitStatus::Success;
}

}  // namespace

void addCheckCommand(CLI::App& app, const GlobalOptions&, CommandAction& action) {
  auto options = std::make_shared<CheckOptions>();
  CLI::App* command =
      app.add_subcommand("check", "Read a control file and summarise the study it describes");
  command->add_option("control-file", options->path, "Control file (.cxd)")->required();
  command->add_flag("--strict", options->strict, "Exit with status 1 when there are warnings");
  command->add_flag("--json", options->json,
                    "Print the summary as JSON, its warnings included, for scripts");
  command->add_flag("--anatomy", options->anatomy,
                    "Also name where each region's centre lies in the anatomy (atlas labels and "
                    "tissue), and warn where it is not in grey matter");
  CLI::Option* noise = command->add_option(
      "--noise", options->noise,
      "Say what the data of a run with this noise profile will read (temporal SNR, AR(1), FWHM), "
      "the plug-in's own noise included where the profile adds to it");
  command->add_option("--tr", options->repetitionTime, "Repetition time of that run, in seconds")
      ->capture_default_str()
      ->check(CLI::Range(host::kMinRepetitionTime, host::kMaxRepetitionTime))
      ->needs(noise);
  command->callback([&action, options] { action = [options] { return checkControlFile(*options); }; });
}

}  // namespace cohortix::app
