// cohortix noise-stats IMAGE: the noise statistics of a 4-D image (.vtc, .nii,
// .nii.gz), as text or JSON, and optionally a noise profile that reproduces them.

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/command.h"
#include "host/export/json_text.h"
#include "host/export/export_file.h"
#include "host/io/disk_interface.h"
#include "host/noise/noise_estimator.h"
#include "host/noise/noise_profile_file.h"
#include "host/noise/time_series_check.h"
#include "host/noise/noise_target.h"
#include "host/noise/time_series_image.h"

namespace cohortix::app {
namespace {

using host::noise::NoiseGeometry;
using host::noise::NoiseStatistics;

struct NoiseStatsOptions {
  std::string image;
  std::string mask;
  std::string profileOut;
  bool json = false;
};

std::string number(double value, const char* format = "%.6g") {
  if (!std::isfinite(value)) return "null";
  char text[40];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string shape(const NoiseGeometry& g) {
  std::ostringstream text;
  text << g.dimX << " x " << g.dimY << " x " << g.dimZ << " voxels of " << g.voxelMm[0] << " x "
       << g.voxelMm[1] << " x " << g.voxelMm[2] << " mm, " << g.volumes << " volumes, TR "
       << g.repetitionTime << " s";
  return text.str();
}

void printText(std::ostream& out, const std::string& image, const NoiseGeometry& g,
               const NoiseStatistics& s, bool masked) {
  out << image << ": " << shape(g) << "\n"
      << "mask                " << s.voxels << " voxels (" << (masked ? "given" : "automatic")
      << "), mean signal " << number(s.meanSignal, "%.4g") << "\n"
      << "temporal SNR        " << number(s.tsnr, "%.1f") << " (median); residual SD "
      << number(s.residualPercent, "%.3g") << " % of the mean\n"
      << "AR(1)               " << number(s.ar1, "%.3f") << "\n"
      << "FWHM                ";
  for (int axis = 0; axis < 3; ++axis)
    out << (axis ? " x " : "") << (std::isnan(s.fwhmMm[axis]) ? "-" : number(s.fwhmMm[axis], "%.2f"));
  out << " mm, mean " << number(s.fwhmMeanMm, "%.2f") << " mm\n"
      << "drift               " << number(s.driftPercent, "%.3g") << " % (share "
      << number(s.driftShare, "%.3g") << ")\n";
  if (s.periodic.empty()) out << "periodic            none\n";
  for (std::size_t i = 0; i < s.periodic.size(); ++i)
    out << (i ? "                    " : "periodic            ") << number(s.periodic[i].frequencyHz, "%.4f")
        << " Hz, " << number(s.periodic[i].amplitudePercent, "%.3g") << " % (share "
        << number(s.periodic[i].share, "%.3g") << ")\n";
  out << "global signal       share " << number(s.globalShare, "%.3g") << ", AR(1) "
      << number(s.globalAr1, "%.2f") << "\n";
  if (std::isnan(s.backgroundLevel))
    out << "background          none\n";
  else
    out << "background          " << s.backgroundVoxels << " voxels, level "
        << number(s.backgroundLevel, "%.4g") << " (" << number(s.backgroundPercent, "%.3g")
        << " % of the mean signal), mean / level " << number(s.backgroundMeanRatio, "%.3f") << "\n";
}

void printJson(std::ostream& out, const std::string& image, const NoiseGeometry& g,
               const NoiseStatistics& s) {
  out << "{\n  \"image\": " << host::jsonString(image) << ",\n"
      << "  \"dims\": [" << g.dimX << ", " << g.dimY << ", " << g.dimZ << "],\n"
      << "  \"volumes\": " << g.volumes << ",\n"
      << "  \"repetition_time\": " << number(g.repetitionTime) << ",\n"
      << "  \"voxel_mm\": [" << number(g.voxelMm[0]) << ", " << number(g.voxelMm[1]) << ", "
      << number(g.voxelMm[2]) << "],\n"
      << "  \"mask_voxels\": " << s.voxels << ",\n"
      << "  \"mean_signal\": " << number(s.meanSignal) << ",\n"
      << "  \"tsnr\": " << number(s.tsnr) << ",\n"
      << "  \"residual_percent\": " << number(s.residualPercent) << ",\n"
      << "  \"ar1\": " << number(s.ar1) << ",\n"
      << "  \"fwhm_mm\": [" << number(s.fwhmMm[0]) << ", " << number(s.fwhmMm[1]) << ", "
      << number(s.fwhmMm[2]) << "],\n"
      << "  \"fwhm_mean_mm\": " << number(s.fwhmMeanMm) << ",\n"
      << "  \"drift_percent\": " << number(s.driftPercent) << ",\n"
      << "  \"drift_share\": " << number(s.driftShare) << ",\n"
      << "  \"periodic\": [";
  for (std::size_t i = 0; i < s.periodic.size(); ++i)
    out << (i ? ",\n    " : "\n    ") << "{\"frequency_hz\": " << number(s.periodic[i].frequencyHz)
        << ", \"amplitude_percent\": " << number(s.periodic[i].amplitudePercent)
        << ", \"share\": " << number(s.periodic[i].share) << "}";
  out << (s.periodic.empty() ? "],\n" : "\n  ],\n")
      << "  \"global_share\": " << number(s.globalShare) << ",\n"
      << "  \"global_ar1\": " << number(s.globalAr1) << ",\n"
      << "  \"background\": ";
  if (std::isnan(s.backgroundLevel))
    out << "null\n}\n";
  else
    out << "{\"voxels\": " << s.backgroundVoxels << ", \"level\": " << number(s.backgroundLevel)
        << ", \"percent\": " << number(s.backgroundPercent)
        << ", \"mean_ratio\": " << number(s.backgroundMeanRatio) << "}\n}\n";
}

ExitStatus writeProfile(const std::string& file, const std::string& image, const NoiseGeometry& g,
                        const NoiseStatistics& statistics) {
  host::noise::NoiseProfile profile;
  profile.target = host::noise::targetOfStatistics(statistics, g);
  const std::string comment =
      "Noise profile measured by cohortix noise-stats from " + image + "\n(" + shape(g) +
      ").\nIts target statistics are the ones measured: a run with this profile on data of\n"
      "the same geometry reproduces them. The rhythms' frequencies are as sampled at\n"
      "this TR, i.e. already aliased.";
  const std::string text = host::noise::formatNoiseProfile(profile, comment);
  // Data without noise (a temporal SNR beyond any scanner's) make no profile a run
  // could read back: none is written.
  if (const auto readable = host::noise::parseNoiseProfile(text, file); !readable) {
    reportError("no noise profile written: the statistics of " + image +
                " are beyond what a profile holds (" + readable.status().message() + ")");
    return ExitStatus::RunFailed;
  }
  host::RealDiskInterface disk;
  const host::Status written = host::writeExportText(disk, file, text);
  if (!written) reportError(written.message());
  return written ? ExitStatus::Success : ExitStatus::FilesNotWritten;
}

ExitStatus noiseStats(const NoiseStatsOptions& options) {
  auto image = host::noise::openTimeSeriesImage(options.image);
  if (!image) {
    reportError(image.status().message());
    return ExitStatus::RunFailed;
  }
  const NoiseGeometry geometry = image.value()->geometry();
  if (const host::Status series = host::noise::checkTimeSeries(options.image, geometry); !series) {
    reportError(series.message());
    return ExitStatus::RunFailed;
  }
  std::vector<uint8_t> mask;
  if (!options.mask.empty()) {
    auto read = host::noise::readMask(options.mask, geometry);
    if (!read) {
      reportError(read.status().message());
      return ExitStatus::RunFailed;
    }
    mask = std::move(read.value());
  }
  auto statistics = host::noise::estimateNoise(*image.value(), options.mask.empty() ? nullptr : &mask);
  if (!statistics) {
    reportError(statistics.status().context(options.image).message());
    return ExitStatus::RunFailed;
  }
  if (options.json)
    printJson(std::cout, options.image, geometry, statistics.value());
  else
    printText(std::cout, options.image, geometry, statistics.value(), !options.mask.empty());
  if (options.profileOut.empty()) return ExitStatus::Success;
  return writeProfile(options.profileOut, options.image, geometry, statistics.value());
}

}  // namespace

void addNoiseStatsCommand(CLI::App& app, const GlobalOptions&, CommandAction& action) {
  auto options = std::make_shared<NoiseStatsOptions>();
  CLI::App* command = app.add_subcommand(
      "noise-stats", "Measure the noise of a 4-D image: temporal SNR, AR(1), FWHM, drift, rhythms");
  command->add_option("image", options->image, "4-D image (.vtc, .nii or .nii.gz)")->required();
  command->add_option("--mask", options->mask, "3-D NIfTI mask: the voxels to measure (default: automatic)");
  command->add_option("--profile-out", options->profileOut,
                      "Write a noise profile (TOML) that reproduces the statistics");
  command->add_flag("--json", options->json, "Print the statistics as JSON");
  command->callback([&action, options] { action = [options] { return noiseStats(*options); }; });
}

}  // namespace cohortix::app
