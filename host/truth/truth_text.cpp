#include "host/truth/truth_text.h"

#include "host/export/decimal_text.h"
#include "host/export/json_text.h"
#include "host/export/tsv_field.h"

namespace cohortix::host::truth {
namespace {

std::string number(double value) { return roundedText(value); }
std::string exact(float value) { return floatText(value); }

template <typename T>
std::string triple(const T& a, const T& b, const T& c) {
  return "[" + a + ", " + b + ", " + c + "]";
}

std::string intTriple(int32_t a, int32_t b, int32_t c) {
  return triple(std::to_string(a), std::to_string(b), std::to_string(c));
}

std::string millimetres(const TalairachAffine& affine, const VoxelIndex& centre) {
  const std::array<double, 3> mm = centreMillimetres(affine, centre);
  return triple(number(mm[0]), number(mm[1]), number(mm[2]));
}

std::string effectsJson(const RegionTruth& region, const std::vector<std::string>& cells) {
  std::string text = "[";
  for (std::size_t p = 0; p < region.effects.size(); ++p) {
    const CellEffect& effect = region.effects[p];
    text += std::string(p == 0 ? "" : ", ") + "{\"Cell\": " +
            jsonString(p < cells.size() ? cells[p] : "") +
            ", \"TableValue\": " + exact(effect.tableValue) +
            ", \"Received\": " + exact(effect.received) + "}";
  }
  return text + "]";
}

std::string regionJson(std::size_t r, const RegionTruth& region,
                       const std::vector<std::string>& cells, const TalairachAffine& affine,
                       const PlaceOf& placeOf) {
  const RegionPlacement& place = region.placement;
  const std::string atlas =
      placeOf ? ", \"Atlas\": " + placeOf(centreMillimetres(affine, place.Centre)) : std::string();
  return "    {\"Region\": " + std::to_string(r + 1) +
         ", \"CentreAskedTalairach\": " + intTriple(place.TalX, place.TalY, place.TalZ) +
         ", \"CentreVoxel\": " + intTriple(place.Centre.X, place.Centre.Y, place.Centre.Z) +
         ", \"CentreTalairach\": " + millimetres(affine, place.Centre) +
         ", \"Radius\": " + exact(place.Radius) +
         ", \"VoxelsWritten\": " + std::to_string(region.voxelsWritten()) +
         ", \"VoxelsOverwritten\": " + std::to_string(region.voxelsOverwritten) + atlas +
         ", \"Effects\": " + effectsJson(region, cells) + "}";
}

std::string noiseJson(const std::optional<TruthNoise>& noise) {
  if (!noise) return "null";
  return "{\"Profile\": " + jsonString(noise->profile) + ", \"Seed\": " +
         std::to_string(noise->seed) + ", \"Replicate\": " + std::to_string(noise->replicate) +
         "}";
}

std::string namesJson(const std::vector<std::string>& names) {
  std::string text = "[";
  for (std::size_t i = 0; i < names.size(); ++i)
    text += (i == 0 ? "" : ", ") + jsonString(names[i]);
  return text + "]";
}

}  // namespace

std::array<double, 3> centreMillimetres(const TalairachAffine& affine, const VoxelIndex& centre) {
  std::array<double, 3> mm{};
  for (int row = 0; row < 3; ++row)
    mm[row] = affine[row][0] * centre.X + affine[row][1] * centre.Y + affine[row][2] * centre.Z +
              affine[row][3];
  return mm;
}

std::string subjectTruthJson(const SubjectTruth& truth, const std::string& experiment,
                             const TalairachAffine& affine,
                             const std::optional<TruthNoise>& noise, const PlaceOf& placeOf,
                             const std::string& ownAnatomy) {
  std::string text = "{\n";
  text += "  \"Experiment\": " + jsonString(experiment) + ",\n";
  text += "  \"Subject\": " + std::to_string(truth.subjectNumber) + ",\n";
  text += "  \"Group\": " + std::to_string(truth.groupNumber) + ",\n";
  text += "  \"Units\": {\"Baseline\": \"signal units\", \"OnePercent\": \"signal units\", "
          "\"NoiseSD\": \"signal units\", \"Effects\": \"percent of Baseline\", "
          "\"CentreVoxel\": \"VTC voxel indices x, y, z from 0\", "
          "\"CentreTalairach\": \"millimetres\", \"Radius\": \"VTC voxels\"},\n";
  text += "  \"Baseline\": " + exact(truth.levels.Baseline) + ",\n";
  text += "  \"OnePercent\": " + exact(truth.levels.OnePercent) + ",\n";
  text += "  \"NoiseSD\": " + exact(truth.levels.NoiseSD) + ",\n";
  text += "  \"HostNoise\": " + noiseJson(noise) + ",\n";
  if (!ownAnatomy.empty()) text += "  \"AnatomyTransform\": " + ownAnatomy + ",\n";
  text += "  \"Cells\": " + namesJson(truth.cellNames) + ",\n";
  text += "  \"Regions\": [\n";
  for (std::size_t r = 0; r < truth.regions.size(); ++r)
    text += regionJson(r, truth.regions[r], truth.cellNames, affine, placeOf) +
            (r + 1 < truth.regions.size() ? ",\n" : "\n");
  return text + "  ]\n}\n";
}

std::string truthTableHeader() {
  return "subject\tgroup\tregion\tcell\tcondition\teffect_percent\ttable_percent\t"
         "centre_x\tcentre_y\tcentre_z\tcentre_x_mm\tcentre_y_mm\tcentre_z_mm\t"
         "voxels_written\tvoxels_overwritten\n";
}

std::string truthTableRows(const SubjectTruth& truth, const TalairachAffine& affine) {
  std::string text;
  for (std::size_t r = 0; r < truth.regions.size(); ++r) {
    const RegionTruth& region = truth.regions[r];
    const VoxelIndex& c = region.placement.Centre;
    const std::array<double, 3> mm = centreMillimetres(affine, c);
    for (std::size_t p = 0; p < region.effects.size(); ++p) {
      text += std::to_string(truth.subjectNumber) + '\t' + std::to_string(truth.groupNumber) +
              '\t' + std::to_string(r + 1) + '\t' + std::to_string(p + 1) + '\t' +
              tsvField(p < truth.cellNames.size() ? truth.cellNames[p] : "") + '\t' +
              exact(region.effects[p].received) + '\t' + exact(region.effects[p].tableValue) +
              '\t' + std::to_string(c.X) + '\t' + std::to_string(c.Y) + '\t' +
              std::to_string(c.Z) + '\t' + number(mm[0]) + '\t' + number(mm[1]) + '\t' +
              number(mm[2]) + '\t' + std::to_string(region.voxelsWritten()) + '\t' +
              std::to_string(region.voxelsOverwritten) + '\n';
    }
  }
  return text;
}

std::string imageSidecarJson(const std::string& description, const std::string& units,
                             const std::vector<std::string>& volumes) {
  std::string text = "{\n  \"Description\": " + jsonString(description) + ",\n  \"Units\": " +
                     jsonString(units);
  if (!volumes.empty()) text += ",\n  \"Volumes\": " + namesJson(volumes);
  return text + "\n}\n";
}

std::string labelTableTsv(std::size_t regions) {
  std::string text = "index\tname\n0\tnone\n";
  for (std::size_t r = 0; r < regions; ++r)
    text += std::to_string(r + 1) + "\tregion" + std::to_string(r + 1) + '\n';
  return text;
}

}  // namespace cohortix::host::truth
