#include "host/noise/noise_profile_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "host/noise/noise_model.h"

namespace cohortix::host::noise {
namespace {

namespace fs = std::filesystem;

TEST(NoiseProfileFile, BundledProfilesReadAndFitTheFullBrainBox) {
  const NoiseGeometry fullBrain{58, 40, 46, 300, {3.0, 3.0, 3.0}, 2.0};
  int found = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(COHORTIX_SOURCE_DIR) / "examples" / "noise")) {
    SCOPED_TRACE(entry.path().string());
    ++found;
    const Result<NoiseProfile> profile = readNoiseProfile(entry.path());
    ASSERT_TRUE(profile) << profile.status().message();
    const Result<NoiseModel> model = NoiseModel::prepare(profile.value(), fullBrain);
    EXPECT_TRUE(model) << model.status().message();
  }
  EXPECT_GE(found, 2);
}

TEST(NoiseProfileFile, WrittenProfilesReadBackTheSame) {
  NoiseProfile components;
  components.components.noise = {1.25, 0.3, SystemNoise::Rician, {0.5, -0.1}, 5.5};
  components.components.drift = {0.9, 100.0};
  components.components.rhythms = {{"heart \"beat\"", 1.1, 0.4, 12.0}, {"breath", 0.3, 0.6, 8.0}};
  components.components.global = {0.2, {0.9}};
  NoiseProfile target;
  target.target = NoiseTarget{72.5, 0.31, 5.25, 0.4, {{"cardiac", 1.17, 0.03, 10.0}}, 0.02, 0.75, 0.25,
                              SystemNoise::Rician};
  target.pluginNoise = PluginNoise::Add;
  for (const NoiseProfile& profile : {components, target}) {
    const std::string text = formatNoiseProfile(profile, "a comment\n\nover lines");
    const Result<NoiseProfile> read = parseNoiseProfile(text, "written.toml");
    ASSERT_TRUE(read) << read.status().message() << "\n" << text;
    EXPECT_EQ(formatNoiseProfile(read.value(), "a comment\n\nover lines"), text);
    EXPECT_EQ(read->pluginNoise, profile.pluginNoise);
  }
}

TEST(NoiseProfileFile, CharactersBeyondAsciiAreReadInStringsAndComments) {
  const Result<NoiseProfile> read =
      parseNoiseProfile("# Profil d'\xc3\xa9t\xc3\xa9\n[[rhythm]]\nname = \"c\xc5\x93ur\"\nfrequency_hz = 1.1\n"
                        "amplitude = 0.5\n[noise]\nlevel = 1\n", "utf8.toml");
  ASSERT_TRUE(read) << read.status().message();
}

TEST(NoiseProfileFile, BadProfilesAreRefusedWithTheirLine) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"[noise]\nlevel = \n", "bad.toml:2: expected TOML, found a syntax error: "},
      {"[noise]\nlevel = 1\nlevle = 2\n",
       "bad.toml:3: expected one of level, system_share, system, ar, fwhm_mm in [noise], found \"levle\""},
      {"[noise]\nlevel = \"high\"\n", "bad.toml:2: expected a number for noise.level (percent), found the text \"high\""},
      {"[noise]\nlevel = 1\nsystem_share = 1.5\n",
       "bad.toml:3: expected noise.system_share from 0 to 1, found 1.5"},
      {"[noise]\nlevel = 1\nsystem = \"poisson\"\n",
       "bad.toml:3: expected \"gaussian\" or \"rician\" for noise.system, found the text \"poisson\""},
      {"[noise]\nlevel = 1\nar = [0.5, \"x\"]\n", "bad.toml:3: expected numbers in noise.ar, found the text \"x\""},
      {"[noise]\nsystem_share = 1\n", "bad.toml:1: expected level in [noise], found none"},
      {"[[rhythm]]\nname = \"cardiac\"\namplitude = 1\n",
       "bad.toml:1: expected frequency_hz in [[rhythm]], found none"},
      {"rhythm = 3\n", "bad.toml:1: expected [[rhythm]] tables, found 3"},
      {"[target]\ntsnr = 80\n[drift]\namplitude = 1\n",
       "bad.toml:3: expected either [target] or the components ([noise], [drift], [[rhythm]], [global]), "
       "found both: [drift] beside [target]"},
      {"[target]\ntsnr = 80\nar1 = 0.99\n", "bad.toml:3: expected target.ar1 from -0.9 to 0.95, found 0.99"},
      {"[targets]\ntsnr = 80\n",
       "bad.toml:1: expected one of plugin_noise, noise, drift, rhythm, global, target, motion, slices in a "
       "noise profile, found \"targets\""},
      {"plugin_noise = \"keep\"\n[target]\ntsnr = 80\n",
       "bad.toml:1: expected \"replace\" or \"add\" for plugin_noise, found the text \"keep\""},
      // Characters beyond ASCII outside strings and comments, which the TOML
      // library itself mishandles, and a line break its message would quote.
      {"[target]\ntsnr\xc3\xa9 = 80\n", "bad.toml:2: expected TOML, found a syntax error: "},
      {"[target]\ntsnr = 8\xd1\x89\"\xc9\xb2\"\n", "bad.toml:2: expected TOML, found a syntax error: "},
      {"[target]\ntsnr = i\n", "bad.toml:2: expected TOML, found a syntax error: error while parsing floating-point: "
                               "expected 'inf', saw 'i\\n'"},
  };
  for (const auto& c : cases) {
    const Result<NoiseProfile> profile = parseNoiseProfile(c.text, "bad.toml");
    ASSERT_FALSE(profile) << c.text;
    EXPECT_EQ(profile.status().message().substr(0, std::string(c.message).size()), c.message) << c.text;
  }
  const Result<NoiseProfile> missing = readNoiseProfile("/nonexistent/profile.toml");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.status().message(),
            "/nonexistent/profile.toml: cannot read the noise profile: No such file or directory");
}

}  // namespace
}  // namespace cohortix::host::noise
