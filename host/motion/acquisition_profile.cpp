#include "host/motion/acquisition_profile.h"

#include <cmath>

#include "host/noise/profile_reader.h"

namespace cohortix::host::motion {
namespace {

using noise::Reader;

int lineOf(const toml::node& node) { return static_cast<int>(node.source().begin.line); }

MotionSection readMotion(const Reader& r, const toml::node& node) {
  const toml::table& t = r.table(node, "[motion]");
  r.onlyKeys(t, "[motion]", {"preset", "jitter_mm", "drift_mm_per_minute", "spike_rate", "spike_mm", "reversion"});
  MotionSection section;
  section.line = lineOf(node);
  const std::string preset = r.text(t, "preset", "motion.preset", "still");
  const std::optional<MotionProfile> base = motionPreset(preset);
  if (!base) {
    std::string names;
    for (const std::string& name : motionPresetNames()) names += (names.empty() ? "\"" : ", \"") + name + "\"";
    r.fail(t.get("preset")->source(), "one of " + names + " for motion.preset", noise::describe(*t.get("preset")));
  }
  MotionProfile& p = section.profile;
  p = *base;
  p.jitterMm = r.number(t, "jitter_mm", "motion.jitter_mm", p.jitterMm, 0.0, 10.0);
  p.driftMmPerMinute = r.number(t, "drift_mm_per_minute", "motion.drift_mm_per_minute", p.driftMmPerMinute, 0.0, 10.0);
  p.spikeRate = r.number(t, "spike_rate", "motion.spike_rate", p.spikeRate, 0.0, 1.0);
  p.spikeMm = r.number(t, "spike_mm", "motion.spike_mm", p.spikeMm, 0.0, 20.0);
  p.reversion = r.number(t, "reversion", "motion.reversion", p.reversion, 0.0, 1.0);
  // A preset as it is keeps its name; changed, the profile is the file's own.
  const bool changed = t.size() > (t.get("preset") ? 1u : 0u);
  if (changed) p.name = "custom";
  return section;
}

SliceSection readSlices(const Reader& r, const toml::node& node) {
  const toml::table& t = r.table(node, "[slices]");
  r.onlyKeys(t, "[slices]", {"order", "multiband", "acquisition_s"});
  SliceSection section;
  section.line = lineOf(node);
  const toml::node* orderNode = t.get("order");
  if (!orderNode) r.fail(t.source(), "order in [slices]", "none");
  section.orderLine = lineOf(*orderNode);
  if (const toml::array* listed = orderNode->as_array()) {
    section.orderName = "listed";
    for (const toml::node& element : *listed) {
      if (!element.is_integer() || *element.value<int64_t>() < 0 || *element.value<int64_t>() > 65535)
        r.fail(element.source(), "slice numbers from 0 in slices.order", noise::describe(element));
      section.schedule.listed.push_back(static_cast<int32_t>(*element.value<int64_t>()));
    }
  } else {
    std::string names;
    for (const std::string& name : sliceOrderNames()) names += (names.empty() ? "\"" : ", \"") + name + "\"";
    const std::string expected = "one of " + names + " or a list of slices for slices.order";
    if (!orderNode->is_string()) r.fail(orderNode->source(), expected, noise::describe(*orderNode));
    section.orderName = *orderNode->value<std::string>();
    const std::optional<SliceOrder> order = sliceOrderNamed(section.orderName);
    if (!order) r.fail(orderNode->source(), expected, noise::describe(*orderNode));
    section.schedule.order = *order;
  }
  section.schedule.multiband = static_cast<int32_t>(r.integer(t, "multiband", "slices.multiband", 1, 1, 64));
  section.multibandLine = Reader::lineOf(t, "multiband");
  if (t.get("acquisition_s"))
    section.schedule.acquisitionTime = r.number(t, "acquisition_s", "slices.acquisition_s", 0.0, 1e-3, 1e4);
  section.acquisitionLine = Reader::lineOf(t, "acquisition_s");
  return section;
}

Status refusal(const std::string& where, const std::string& expected, const std::string& found) {
  return Status::error(where + ": expected " + expected + ", found " + found);
}

}  // namespace

Result<AcquisitionProfile> parseAcquisitionProfile(std::string_view text, const std::string& name) {
  Result<toml::table> root = noise::parseProfileToml(text, name);
  if (!root) return root.status();
  const Reader reader(name);
  AcquisitionProfile profile;
  profile.name = name;
  try {
    if (const toml::node* node = root.value().get("motion")) profile.motion = readMotion(reader, *node);
    if (const toml::node* node = root.value().get("slices")) profile.slices = readSlices(reader, *node);
  } catch (const noise::ProfileError& error) {
    return Status::error(error.message());
  }
  return profile;
}

Result<AcquisitionProfile> readAcquisitionProfile(const std::filesystem::path& file) {
  Result<std::string> text = noise::readProfileText(file, "the noise profile");
  if (!text) return text.status();
  return parseAcquisitionProfile(text.value(), file.string());
}

Result<RunAcquisition> resolveAcquisition(const AcquisitionProfile* profile, const AcquisitionOptions& options,
                                          int32_t slices, double repetitionTime, bool anatomy) {
  const auto at = [&](int line) { return profile->name + ":" + std::to_string(line); };
  RunAcquisition run;
  if (!options.motion.empty()) {
    run.motion = motionPreset(options.motion);
  } else if (profile && profile->motion) {
    if (!anatomy)
      return refusal(at(profile->motion->line), "a run with --anatomy for [motion] (a brain for the head to move)",
                     "none");
    run.motion = profile->motion->profile;
  }
  const SliceSection* section = profile && profile->slices ? &*profile->slices : nullptr;
  if (options.sliceOrder.empty() && !section) {
    if (options.multiband > 0)
      return refusal("--multiband", "--slice-order or a profile's [slices] to take the factor", "neither");
    return run;
  }
  if (!anatomy && options.sliceOrder.empty())
    return refusal(at(section->line), "a run with --anatomy for [slices] (a recomposed signal to time)", "none");
  SliceSchedule schedule = section ? section->schedule : SliceSchedule{};
  run.sliceOrderName = section ? section->orderName : "";
  if (!options.sliceOrder.empty()) {
    schedule.order = *sliceOrderNamed(options.sliceOrder);
    schedule.listed.clear();
    run.sliceOrderName = options.sliceOrder;
  }
  if (options.multiband > 0) schedule.multiband = options.multiband;
  if (const std::optional<SliceMisfit> misfit = sliceMisfit(schedule, slices, repetitionTime)) {
    std::string where;
    switch (misfit->field) {
      case SliceMisfit::Field::Order: where = at(section->orderLine); break;
      case SliceMisfit::Field::Multiband:
        where = options.multiband > 0 ? "--multiband" : at(section->multibandLine ? section->multibandLine : section->line);
        break;
      case SliceMisfit::Field::AcquisitionTime: where = at(section->acquisitionLine); break;
    }
    return refusal(where, misfit->expected, misfit->found);
  }
  run.slices = schedule;
  return run;
}

}  // namespace cohortix::host::motion
