// Reading noise profiles with toml++, which keeps every value's source position for
// the messages.

#include "host/noise/noise_profile_file.h"
#include "host/noise/profile_reader.h"

namespace cohortix::host::noise {
namespace {

SystemNoise systemOf(const Reader& r, const toml::table& table, const std::string& what) {
  const toml::node* node = table.get("system");
  if (!node) return SystemNoise::Gaussian;
  const std::string value = r.text(table, "system", what, "");
  if (value == "gaussian") return SystemNoise::Gaussian;
  if (value == "rician") return SystemNoise::Rician;
  r.fail(node->source(), "\"gaussian\" or \"rician\" for " + what, describe(*node));
}

PluginNoise pluginNoiseOf(const Reader& r, const toml::table& root) {
  const toml::node* node = root.get("plugin_noise");
  if (!node) return PluginNoise::Replace;
  const std::string value = r.text(root, "plugin_noise", "plugin_noise", "");
  if (value == "replace") return PluginNoise::Replace;
  if (value == "add") return PluginNoise::Add;
  r.fail(node->source(), "\"replace\" or \"add\" for plugin_noise", describe(*node));
}

RandomNoise readNoise(const Reader& r, const toml::table& t) {
  r.onlyKeys(t, "[noise]", {"level", "system_share", "system", "ar", "fwhm_mm"});
  RandomNoise noise;
  noise.levelPercent = r.required(t, "level", "noise.level (percent)", 0.0, 100.0, "[noise]");
  noise.systemShare = r.number(t, "system_share", "noise.system_share", 0.0, 0.0, 1.0);
  noise.system = systemOf(r, t, "noise.system");
  noise.ar = r.coefficients(t, "ar", "noise.ar", {});
  noise.fwhmMm = r.number(t, "fwhm_mm", "noise.fwhm_mm", 0.0, 0.0, 100.0);
  return noise;
}

Drift readDrift(const Reader& r, const toml::table& t) {
  r.onlyKeys(t, "[drift]", {"amplitude", "cutoff_s"});
  Drift drift;
  drift.amplitudePercent = r.required(t, "amplitude", "drift.amplitude (percent)", 0.0, 100.0, "[drift]");
  drift.cutoffSeconds = r.number(t, "cutoff_s", "drift.cutoff_s", 128.0, 1.0, 1e6);
  return drift;
}

Rhythm readRhythm(const Reader& r, const toml::table& t, std::size_t index) {
  r.onlyKeys(t, "[[rhythm]]", {"name", "frequency_hz", "amplitude", "weights_fwhm_mm"});
  Rhythm rhythm;
  rhythm.name = r.text(t, "name", "rhythm.name", "rhythm " + std::to_string(index + 1));
  rhythm.frequencyHz = r.required(t, "frequency_hz", "rhythm.frequency_hz", 1e-6, 1000.0, "[[rhythm]]");
  rhythm.amplitudePercent = r.required(t, "amplitude", "rhythm.amplitude (percent)", 0.0, 100.0, "[[rhythm]]");
  rhythm.weightsFwhmMm = r.number(t, "weights_fwhm_mm", "rhythm.weights_fwhm_mm", 10.0, 0.0, 100.0);
  return rhythm;
}

GlobalSignal readGlobal(const Reader& r, const toml::table& t) {
  r.onlyKeys(t, "[global]", {"amplitude", "ar"});
  GlobalSignal global;
  global.amplitudePercent = r.required(t, "amplitude", "global.amplitude (percent)", 0.0, 100.0, "[global]");
  global.ar = r.coefficients(t, "ar", "global.ar", global.ar);
  return global;
}

NoiseTarget readTarget(const Reader& r, const toml::table& t) {
  r.onlyKeys(t, "[target]", {"tsnr", "ar1", "fwhm_mm", "drift_share", "global_share", "global_ar1",
                             "system_share", "system", "rhythm"});
  NoiseTarget target;
  target.tsnr = r.required(t, "tsnr", "target.tsnr", 1e-3, 1e6, "[target]");
  target.ar1 = r.number(t, "ar1", "target.ar1", 0.0, -0.9, 0.95);
  target.fwhmMm = r.number(t, "fwhm_mm", "target.fwhm_mm", 0.0, 0.0, 100.0);
  target.driftShare = r.number(t, "drift_share", "target.drift_share", 0.0, 0.0, 1e4);
  target.globalShare = r.number(t, "global_share", "target.global_share", 0.0, 0.0, 0.99);
  target.globalAr1 = r.number(t, "global_ar1", "target.global_ar1", target.globalAr1, -0.95, 0.99);
  target.systemShare = r.number(t, "system_share", "target.system_share", target.systemShare, 0.0, 1.0);
  target.system = systemOf(r, t, "target.system");
  std::size_t index = 0;
  for (const toml::table* rhythm : r.tables(t.get("rhythm"), "target.rhythm")) {
    r.onlyKeys(*rhythm, "[[target.rhythm]]", {"name", "frequency_hz", "share", "weights_fwhm_mm"});
    RhythmTarget entry;
    entry.name = r.text(*rhythm, "name", "target.rhythm.name", "rhythm " + std::to_string(++index));
    entry.frequencyHz = r.required(*rhythm, "frequency_hz", "target.rhythm.frequency_hz", 1e-6, 1000.0, "[[target.rhythm]]");
    entry.share = r.required(*rhythm, "share", "target.rhythm.share", 0.0, 0.99, "[[target.rhythm]]");
    entry.weightsFwhmMm = r.number(*rhythm, "weights_fwhm_mm", "target.rhythm.weights_fwhm_mm", 10.0, 0.0, 100.0);
    target.rhythms.push_back(entry);
  }
  return target;
}

NoiseProfile readProfile(const Reader& r, const toml::table& root, const std::string& name) {
  // [motion] and [slices] describe the scanner's acquisition beside its noise;
  // host/motion/acquisition_profile.h reads them.
  r.onlyKeys(root, "a noise profile",
             {"plugin_noise", "noise", "drift", "rhythm", "global", "target", "motion", "slices"});
  NoiseProfile profile;
  profile.name = name;
  profile.pluginNoise = pluginNoiseOf(r, root);
  if (const toml::node* target = root.get("target")) {
    for (const auto& [key, node] : root)
      if (key.str() != "target" && key.str() != "plugin_noise" && key.str() != "motion" && key.str() != "slices")
        r.fail(key.source(), "either [target] or the components ([noise], [drift], [[rhythm]], [global])",
               "both: [" + tomlErrorText(key.str()) + "] beside [target]");
    profile.target = readTarget(r, r.table(*target, "[target]"));
    return profile;
  }
  NoiseComponents& c = profile.components;
  if (const toml::node* node = root.get("noise")) c.noise = readNoise(r, r.table(*node, "[noise]"));
  if (const toml::node* node = root.get("drift")) c.drift = readDrift(r, r.table(*node, "[drift]"));
  std::size_t index = 0;
  for (const toml::table* rhythm : r.tables(root.get("rhythm"), "rhythm")) c.rhythms.push_back(readRhythm(r, *rhythm, index++));
  if (const toml::node* node = root.get("global")) c.global = readGlobal(r, r.table(*node, "[global]"));
  return profile;
}

}  // namespace

Result<NoiseProfile> parseNoiseProfile(std::string_view text, const std::string& name) {
  Result<toml::table> root = parseProfileToml(text, name);
  if (!root) return root.status();
  try {
    return readProfile(Reader(name), root.value(), name);
  } catch (const ProfileError& error) {
    return Status::error(error.message());
  }
}

Result<NoiseProfile> readNoiseProfile(const std::filesystem::path& file) {
  Result<std::string> text = readProfileText(file, "the noise profile");
  if (!text) return text.status();
  return parseNoiseProfile(text.value(), file.string());
}

}  // namespace cohortix::host::noise
