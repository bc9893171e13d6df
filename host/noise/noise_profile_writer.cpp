// Writing noise profiles as TOML by hand, to keep the order of the sections and
// their comments.

#include <cstdio>
#include <sstream>

#include "host/noise/noise_profile_file.h"

namespace cohortix::host::noise {
namespace {

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string list(const std::vector<double>& values) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + number(values[i]);
  return out + "]";
}

const char* systemName(SystemNoise system) { return system == SystemNoise::Rician ? "rician" : "gaussian"; }

void writeTarget(std::ostream& out, const NoiseTarget& target) {
  out << "[target]\n"
      << "tsnr = " << number(target.tsnr) << "\n"
      << "ar1 = " << number(target.ar1) << "\n"
      << "fwhm_mm = " << number(target.fwhmMm) << "\n"
      << "drift_share = " << number(target.driftShare) << "\n"
      << "global_share = " << number(target.globalShare) << "\n"
      << "global_ar1 = " << number(target.globalAr1) << "\n"
      << "system_share = " << number(target.systemShare) << "\n"
      << "system = " << quoted(systemName(target.system)) << "\n";
  for (const RhythmTarget& rhythm : target.rhythms)
    out << "\n[[target.rhythm]]\n"
        << "name = " << quoted(rhythm.name) << "\n"
        << "frequency_hz = " << number(rhythm.frequencyHz) << "\n"
        << "share = " << number(rhythm.share) << "\n"
        << "weights_fwhm_mm = " << number(rhythm.weightsFwhmMm) << "\n";
}

void writeComponents(std::ostream& out, const NoiseComponents& c) {
  const char* gap = "";
  if (c.noise.levelPercent > 0.0) {
    out << "[noise]\n"
        << "level = " << number(c.noise.levelPercent) << "\n"
        << "system_share = " << number(c.noise.systemShare) << "\n"
        << "system = " << quoted(systemName(c.noise.system)) << "\n"
        << "ar = " << list(c.noise.ar) << "\n"
        << "fwhm_mm = " << number(c.noise.fwhmMm) << "\n";
    gap = "\n";
  }
  if (c.drift.amplitudePercent > 0.0) {
    out << gap << "[drift]\n"
        << "amplitude = " << number(c.drift.amplitudePercent) << "\n"
        << "cutoff_s = " << number(c.drift.cutoffSeconds) << "\n";
    gap = "\n";
  }
  for (const Rhythm& rhythm : c.rhythms) {
    out << gap << "[[rhythm]]\n"
        << "name = " << quoted(rhythm.name) << "\n"
        << "frequency_hz = " << number(rhythm.frequencyHz) << "\n"
        << "amplitude = " << number(rhythm.amplitudePercent) << "\n"
        << "weights_fwhm_mm = " << number(rhythm.weightsFwhmMm) << "\n";
    gap = "\n";
  }
  if (c.global.amplitudePercent > 0.0)
    out << gap << "[global]\n"
        << "amplitude = " << number(c.global.amplitudePercent) << "\n"
        << "ar = " << list(c.global.ar) << "\n";
}

}  // namespace

std::string formatNoiseProfile(const NoiseProfile& profile, const std::string& comment) {
  std::ostringstream out;
  if (!comment.empty()) {
    std::istringstream lines(comment);
    std::string line;
    while (std::getline(lines, line)) out << (line.empty() ? "#" : "# " + line) << "\n";
    out << "\n";
  }
  // A key of the root table: before the first table.
  if (profile.pluginNoise == PluginNoise::Add) out << "plugin_noise = \"add\"\n\n";
  if (profile.target)
    writeTarget(out, *profile.target);
  else
    writeComponents(out, profile.components);
  return out.str();
}

}  // namespace cohortix::host::noise
