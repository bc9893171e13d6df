// Reading noise profiles with toml++, which keeps every value's source position for
// the messages.

#include <toml++/toml.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include "host/io/toml_text.h"
#include "host/noise/noise_profile_file.h"

namespace cohortix::host::noise {
namespace {

// What a bad value is reported as: its source line and the key's full name.
class ProfileError {
 public:
  explicit ProfileError(std::string message) : message_(std::move(message)) {}
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

std::string describe(const toml::node& node) {
  switch (node.type()) {
    // A text may hold line breaks and control characters: shown escaped.
    case toml::node_type::string: return "the text \"" + tomlErrorText(*node.value<std::string_view>()) + "\"";
    case toml::node_type::integer:
    case toml::node_type::floating_point: {
      std::ostringstream text;
      text << *node.value<double>();
      return text.str();
    }
    case toml::node_type::boolean: return *node.value<bool>() ? "true" : "false";
    case toml::node_type::array: return "a list";
    case toml::node_type::table: return "a table";
    default: return "a date or time";
  }
}

class Reader {
 public:
  explicit Reader(std::string name) : name_(std::move(name)) {}

  [[noreturn]] void fail(const toml::source_region& where, const std::string& expected,
                         const std::string& found) const {
    throw ProfileError(name_ + ":" + std::to_string(where.begin.line) + ": expected " + expected +
                       ", found " + found);
  }

  // Every key of the table must be one of `known`.
  void onlyKeys(const toml::table& table, const std::string& where,
                std::initializer_list<std::string_view> known) const {
    for (const auto& [key, node] : table) {
      bool found = false;
      for (const std::string_view k : known) found = found || key.str() == k;
      if (found) continue;
      std::string list;
      for (const std::string_view k : known) list += (list.empty() ? "" : ", ") + std::string(k);
      // A quoted key may hold line breaks and control characters: shown escaped.
      fail(key.source(), "one of " + list + " in " + where, "\"" + tomlErrorText(key.str()) + "\"");
    }
  }

  const toml::table& table(const toml::node& node, const std::string& what) const {
    if (!node.is_table()) fail(node.source(), "a table for " + what, describe(node));
    return *node.as_table();
  }

  // A number within [low, high]; `fallback` when the key is absent.
  double number(const toml::table& table, std::string_view key, const std::string& what, double fallback,
                double low, double high) const {
    const toml::node* node = table.get(key);
    if (!node) return fallback;
    if (!node->is_number()) fail(node->source(), "a number for " + what, describe(*node));
    const double value = *node->value<double>();
    if (!(value >= low && value <= high) || !std::isfinite(value)) {
      std::ostringstream range;
      if (high == HUGE_VAL)
        range << what << " of " << low << " or more";
      else
        range << what << " from " << low << " to " << high;
      fail(node->source(), range.str(), describe(*node));
    }
    return value;
  }

  double required(const toml::table& table, std::string_view key, const std::string& what, double low,
                  double high, const std::string& section) const {
    if (!table.get(key)) fail(table.source(), std::string(key) + " in " + section, "none");
    return number(table, key, what, 0.0, low, high);
  }

  std::vector<double> coefficients(const toml::table& table, std::string_view key, const std::string& what,
                                   std::vector<double> fallback) const {
    const toml::node* node = table.get(key);
    if (!node) return fallback;
    if (!node->is_array()) fail(node->source(), "a list of numbers for " + what, describe(*node));
    std::vector<double> values;
    for (const toml::node& element : *node->as_array()) {
      if (!element.is_number()) fail(element.source(), "numbers in " + what, describe(element));
      values.push_back(*element.value<double>());
      if (!std::isfinite(values.back())) fail(element.source(), "finite numbers in " + what, describe(element));
    }
    if (values.size() > 8) fail(node->source(), "at most 8 coefficients in " + what, std::to_string(values.size()));
    return values;
  }

  std::string text(const toml::table& table, std::string_view key, const std::string& what,
                   std::string fallback) const {
    const toml::node* node = table.get(key);
    if (!node) return fallback;
    if (!node->is_string()) fail(node->source(), "a text for " + what, describe(*node));
    return std::string(*node->value<std::string_view>());
  }

  SystemNoise system(const toml::table& table, const std::string& what) const {
    const toml::node* node = table.get("system");
    if (!node) return SystemNoise::Gaussian;
    const std::string value = text(table, "system", what, "");
    if (value == "gaussian") return SystemNoise::Gaussian;
    if (value == "rician") return SystemNoise::Rician;
    fail(node->source(), "\"gaussian\" or \"rician\" for " + what, describe(*node));
  }

  PluginNoise pluginNoise(const toml::table& root) const {
    const toml::node* node = root.get("plugin_noise");
    if (!node) return PluginNoise::Replace;
    const std::string value = text(root, "plugin_noise", "plugin_noise", "");
    if (value == "replace") return PluginNoise::Replace;
    if (value == "add") return PluginNoise::Add;
    fail(node->source(), "\"replace\" or \"add\" for plugin_noise", describe(*node));
  }

  // The tables of an array of tables.
  std::vector<const toml::table*> tables(const toml::node* node, const std::string& what) const {
    std::vector<const toml::table*> result;
    if (!node) return result;
    if (!node->is_array_of_tables())
      fail(node->source(), "[[" + what + "]] tables", describe(*node));
    for (const toml::node& element : *node->as_array()) result.push_back(element.as_table());
    return result;
  }

 private:
  std::string name_;
};

RandomNoise readNoise(const Reader& r, const toml::table& t) {
  r.onlyKeys(t, "[noise]", {"level", "system_share", "system", "ar", "fwhm_mm"});
  RandomNoise noise;
  noise.levelPercent = r.required(t, "level", "noise.level (percent)", 0.0, 100.0, "[noise]");
  noise.systemShare = r.number(t, "system_share", "noise.system_share", 0.0, 0.0, 1.0);
  noise.system = r.system(t, "noise.system");
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
  target.system = r.system(t, "target.system");
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
  r.onlyKeys(root, "a noise profile", {"plugin_noise", "noise", "drift", "rhythm", "global", "target"});
  NoiseProfile profile;
  profile.name = name;
  profile.pluginNoise = r.pluginNoise(root);
  if (const toml::node* target = root.get("target")) {
    for (const auto& [key, node] : root)
      if (key.str() != "target" && key.str() != "plugin_noise")
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
  const Reader reader(name);
  try {
    if (const std::string standIn = tomlAsciiStandIn(text); !standIn.empty())
      static_cast<void>(toml::parse(standIn, name));
    const toml::table root = toml::parse(text, name);
    return readProfile(reader, root, name);
  } catch (const toml::parse_error& error) {
    std::string description = tomlErrorText(error.description());
    if (!description.empty()) description[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(description[0])));
    return Status::error(name + ":" + std::to_string(error.source().begin.line) +
                         ": expected TOML, found a syntax error: " + description);
  } catch (const ProfileError& error) {
    return Status::error(error.message());
  }
}

Result<NoiseProfile> readNoiseProfile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return Status::error(file.string() + ": cannot read the noise profile: " + std::strerror(errno));
  std::ostringstream contents;
  contents << in.rdbuf();
  if (in.bad()) return Status::error(file.string() + ": cannot read the noise profile");
  return parseNoiseProfile(contents.str(), file.string());
}

}  // namespace cohortix::host::noise
