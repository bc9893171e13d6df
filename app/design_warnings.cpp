#include "app/design_warnings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <memory>
#include <ostream>
#include <string_view>

#include "control/control_file_reader.h"
#include "control/control_texts.h"
#include "control/number_parsing.h"
#include "control/output_names.h"
#include "control/vtc_geometry.h"
#include "host/export/bids_names.h"
#include "host/export/decimal_text.h"
#include "host/sweep/control_items.h"

namespace cohortix::app {
namespace {

using Kind = DesignFinding::Kind;
using Findings = std::vector<DesignFinding>;

// The most volumes a NIfTI-1 header can give a time series (a 16-bit dimension).
constexpr int32_t kMaxNiftiVolumes = 32767;
// The longest suffix --nifti puts after a subject's stem ("_design.tsv").
constexpr char kLongestNiftiSuffix[] = "_design.tsv";
constexpr char kLongestBidsSuffix[] = "_desc-design_timeseries.tsv";

std::string str(int64_t value) { return std::to_string(value); }

std::string quotedText(std::string_view text) {
  constexpr std::size_t kShown = 40;
  static const char kHex[] = "0123456789abcdef";
  std::string shown = "\"";
  for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7f) shown += text[i];
    else shown += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 15];
  }
  return shown + (text.size() > kShown ? "...\"" : "\"");
}

std::string hexByte(char c) {
  static const char kHex[] = "0123456789abcdef";
  const auto byte = static_cast<unsigned char>(c);
  return std::string("0x") + kHex[byte >> 4] + kHex[byte & 15];
}

// The bytes [begin, end) of the file; labels are short, so this reads little.
std::string bytesOf(std::ifstream& file, int64_t begin, int64_t end) {
  std::string text(static_cast<std::size_t>(std::max<int64_t>(0, end - begin)), '\0');
  file.clear();
  file.seekg(begin);
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, file.gcount())));
  return text;
}

// ---- Labels -----------------------------------------------------------------

// "Level2_1" -> "level", "Reserved1" -> "reserved", "BetweenLevels" -> "levels",
// "BoxZ:" -> "boxz": a label or a customary name reduced to the kind of its item.
std::string kindOf(std::string name) {
  while (!name.empty() && (name.back() == ':' || name.back() == '=')) name.pop_back();
  while (!name.empty() && (std::isdigit(static_cast<unsigned char>(name.back())) || name.back() == '_'))
    name.pop_back();
  if (name.rfind("BetweenFactor", 0) == 0 && name != "BetweenFactors") name.erase(0, 7);
  if (name.rfind("BetweenLevel", 0) == 0) name.erase(0, 7);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

struct ItemKind {
  const char* kind;
  const char* what;
};

constexpr ItemKind kItemKinds[] = {
    {"version", "the format version"},
    {"withinfactors", "the number of within factors"},
    {"betweenfactors", "the number of between factors"},
    {"reserved", "a reserved value"},
    {"name", "the experiment name"},
    {"factor", "a factor's name"},
    {"levels", "a factor's number of levels"},
    {"level", "a level"},
    {"balanced", "the balanced-design flag"},
    {"rest", "the rest-period flag"},
    {"restvolumes", "the volumes of each rest period"},
    {"subjectspergroup", "the number of subjects per group"},
    {"trialvolumes", "the volumes of each trial"},
    {"trialspercondition", "the number of trials per condition"},
    {"prevolumes", "the volumes before the first protocol interval"},
    {"postvolumes", "the volumes after the last protocol interval"},
    {"boxz", "the VTC box along Z"},
    {"boxx", "the VTC box along X"},
    {"boxy", "the VTC box along Y"},
    {"resolution", "the VTC resolution"},
    {"headercode", "the VTC header code"},
    {"meanbaseline", "the mean baseline"},
    {"baselinesdsubjects", "the baseline SD across subjects"},
    {"baselinesdvoxels", "the baseline SD across voxels"},
    {"noisepercent", "the noise SD in percent"},
    {"regions", "the number of effect regions"},
    {"center", "a region's Talairach centre"},
    {"radius", "a region's radius"},
    {"centersd", "a region's centre SD"},
    {"effectrows", "the effects-per-group flag"},
    {"subjectsd", "the subject effect SD"},
    {"flag", "the flag word before the effect tables"},
    {"region", "a region's effect table"},
};

const char* whatOf(const std::string& kind) {
  for (const ItemKind& item : kItemKinds)
    if (kind == item.kind) return item.what;
  return nullptr;
}

// One item the reader took: its customary name and its tokens.
struct ReadItem {
  std::string name;
  TokenSpan label;
  std::vector<TokenSpan> values;
};

std::vector<ReadItem> itemsOf(const SimulationDesign& design, const std::vector<TokenSpan>& spans) {
  const std::vector<std::string> names = host::sweep::customaryItemNames(design);
  std::vector<ReadItem> items;
  for (const TokenSpan& span : spans) {
    if (span.kind == TokenSpan::Kind::Label) {
      if (items.size() == names.size()) break;
      items.push_back({names[items.size()], span, {}});
    } else if (!items.empty()) {
      items.back().values.push_back(span);
    }
  }
  return items;
}

void swappedLabels(std::ifstream& file, const std::vector<ReadItem>& items, Findings& out) {
  for (const ReadItem& item : items) {
    const std::string label = bytesOf(file, item.label.begin, item.label.end);
    const std::string kind = kindOf(label);
    const std::string own = kindOf(item.name);
    const char* other = whatOf(kind);
    if (kind == own || other == nullptr || whatOf(own) == nullptr) continue;
    out.push_back({Kind::Warning, item.label.line,
                   "the label " + quotedText(label) + " is that of " + other +
                       ", but this item is read as " + whatOf(own) +
                       ": values are read by their position, not by their label"});
  }
}

const ReadItem* itemNamed(const std::vector<ReadItem>& items, const std::string& name) {
  for (const ReadItem& item : items)
    if (item.name == name) return &item;
  return nullptr;
}

int lineOf(const std::vector<ReadItem>& items, const std::string& name) {
  const ReadItem* item = itemNamed(items, name);
  return item != nullptr ? item->label.line : 0;
}

// A flag word read as "no" that its author surely meant as yes: only an upper-case
// first letter counts.
void lowerCaseFlag(std::ifstream& file, const std::vector<ReadItem>& items, const char* name,
                   char letter, const std::string& what, const std::string& readAs,
                   Findings& out) {
  const ReadItem* item = itemNamed(items, name);
  if (item == nullptr || item->values.empty()) return;
  const std::string word = bytesOf(file, item->values[0].begin, item->values[0].end);
  if (word.empty() || word[0] != letter) return;
  out.push_back({Kind::Warning, item->values[0].line,
                 what + " " + quotedText(word) + " begins with a lower-case " + letter +
                     " and is read as " + readAs + "; only an upper-case " +
                     static_cast<char>(std::toupper(letter)) + " counts"});
}

// ---- Regions and the box --------------------------------------------------------

struct AxisReach {
  const char* vtcAxis;
  const char* talairachAxis;
  int64_t centre;
  int32_t dim;
};

std::string voxelsAndMm(int64_t voxels, int32_t resolution) {
  return str(voxels) + (voxels == 1 ? " voxel (" : " voxels (") + str(voxels * resolution) +
         " mm)";
}

void regionsOutsideBox(const SimulationDesign& d, const std::vector<ReadItem>& items,
                       Findings& out) {
  const VTCBox box = vtcBoxOf(d);
  const VTCDims dims = vtcDims(box);
  for (int r = 0; r < d.NrOfRegions; ++r) {
    const double radius = d.Regions[r].Radius;
    if (radius < 0) continue;  // an empty sphere lies nowhere
    const VoxelIndex c = regionCentreVoxel(d.Regions[r], box);
    const AxisReach axes[] = {{"x", "y", c.X, dims.DimX},
                              {"y", "z", c.Y, dims.DimY},
                              {"z", "x", c.Z, dims.DimZ}};
    int64_t beyond = 0;
    int64_t gap = 0;
    const AxisReach* worst = nullptr;
    const AxisReach* apart = nullptr;
    for (const AxisReach& axis : axes) {
      // The outermost voxel layers of the sphere along this axis.
      const auto low = static_cast<int64_t>(std::ceil(static_cast<double>(axis.centre) - radius));
      const auto high = static_cast<int64_t>(std::floor(static_cast<double>(axis.centre) + radius));
      const int64_t last = int64_t{axis.dim} - 1;
      const int64_t away = std::max(low - last, -high);
      if (away > gap) gap = away, apart = &axis;
      const int64_t over = std::max(-low, high - last);
      if (over > beyond) beyond = over, worst = &axis;
    }
    const std::string region = "region " + str(r + 1) + " (Talairach " + str(d.Regions[r].TalX) +
                               ", " + str(d.Regions[r].TalY) + ", " + str(d.Regions[r].TalZ) +
                               ", radius " + host::roundedText(radius) + ")";
    const int line = lineOf(items, "Center" + str(r + 1));
    if (apart != nullptr)
      out.push_back({Kind::Warning, line,
                     region + " lies entirely outside the VTC box: its sphere is " +
                         voxelsAndMm(gap, d.Resolution) + " beyond the box along VTC " +
                         apart->vtcAxis + " (Talairach " + apart->talairachAxis +
                         "); it adds nothing to the data"});
    else if (worst != nullptr)
      out.push_back({Kind::Warning, line,
                     region + " lies partly outside the VTC box: its sphere reaches " +
                         voxelsAndMm(beyond, d.Resolution) + " beyond the box along VTC " +
                         worst->vtcAxis + " (Talairach " + worst->talairachAxis + ")"});
  }
}

// ---- Levels, timing, spreads, the end of the file ---------------------------------

void duplicateLevels(const DesignFactor& factor, const std::string& factorName,
                     const std::string& prefix, const std::vector<ReadItem>& items,
                     Findings& out) {
  for (int l = 1; l < factor.NrOfLevels; ++l)
    for (int k = 0; k < l; ++k) {
      if (std::string_view(factor.Levels[l].LevelName) != factor.Levels[k].LevelName) continue;
      out.push_back({Kind::Warning, lineOf(items, prefix + str(l + 1)),
                     "level " + str(l + 1) + " of " + factorName + " is named " +
                         quotedText(factor.Levels[l].LevelName) + " like level " + str(k + 1) +
                         ": their conditions share one name"});
      break;
    }
}

void negativeSpread(const std::vector<ReadItem>& items, const std::string& name,
                    const std::string& what, float value, Findings& out) {
  if (!(value < 0)) return;
  out.push_back({Kind::Warning, lineOf(items, name),
                 what + " is negative (" + host::roundedText(value) +
                     "); a spread below 0 is used as given"});
}

void negativeSpreads(const SimulationDesign& d, const std::vector<ReadItem>& items,
                     Findings& out) {
  negativeSpread(items, "BaselineSDSubjects", "the baseline SD across subjects",
                 d.BaselineSDAcrossSubjects, out);
  negativeSpread(items, "BaselineSDVoxels", "the baseline SD across voxels",
                 d.BaselineSDAcrossVoxels, out);
  negativeSpread(items, "NoisePercent", "the noise SD", d.NoiseSDPercent, out);
  for (int r = 0; r < d.NrOfRegions; ++r)
    negativeSpread(items, "CenterSD" + str(r + 1), "the centre SD of region " + str(r + 1),
                   d.Regions[r].CenterSD, out);
  if (d.EffectsPerGroup)
    negativeSpread(items, "SubjectSD", "the subject effect SD", d.SubjectEffectSD, out);
}

// The first word after the last token the reader took, if any, and its line.
void tokensAfterLastItem(std::ifstream& file, const std::vector<TokenSpan>& spans,
                         Findings& out) {
  if (spans.empty()) return;
  file.clear();
  file.seekg(spans.back().end);
  int line = spans.back().line;
  std::string word;
  for (int c = file.get(); c != EOF; c = file.get()) {
    if (std::isspace(c)) {
      if (!word.empty()) break;
      if (c == '\n') ++line;
      continue;
    }
    word += static_cast<char>(c);
    if (word.size() > 40) break;
  }
  if (word.empty()) return;
  float number = 0;
  const bool isNumber = parseFloat32(word, number) == NumberParse::Ok;
  out.push_back({Kind::Warning, line,
                 "text after the last effect value is never read: " + quotedText(word) +
                     (isNumber ? "; has the last effect table a value too many?" : "")});
}

// ---- Names that reach JSON and file names -----------------------------------------

// The offset of the first byte of text that is not part of valid UTF-8, or npos.
std::size_t invalidUtf8At(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (length == 0 || (length == 2 && b < 0xc2) || (length == 4 && b > 0xf4)) return i;
    if (i + length > text.size()) return i;
    for (std::size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) return i;
    const auto second = static_cast<unsigned char>(length > 1 ? text[i + 1] : 0);
    if ((b == 0xe0 && second < 0xa0) || (b == 0xed && second > 0x9f) ||
        (b == 0xf0 && second < 0x90) || (b == 0xf4 && second > 0x8f))
      return i;
    i += length;
  }
  return std::string_view::npos;
}

struct NamedText {
  std::string what;
  const char* text;
};

std::vector<NamedText> namesInReadingOrder(const SimulationDesign& d) {
  std::vector<NamedText> names = {{"the experiment name", d.ExperimentName}};
  auto addFactors = [&names](const DesignFactor* factors, int count, const char* kind) {
    for (int f = 0; f < std::min(count, kFactorSlots); ++f) {
      const std::string factor = std::string(kind) + " factor " + str(f + 1);
      names.push_back({"the name of " + factor, factors[f].FactorName});
      for (int l = 0; l < factors[f].NrOfLevels; ++l)
        names.push_back({"the name of level " + str(l + 1) + " of " + factor,
                         factors[f].Levels[l].LevelName});
    }
  };
  addFactors(d.WithinFactors, d.NrOfWithinFactors, "within");
  addFactors(d.BetweenFactors, d.NrOfBetweenFactors, "between");
  return names;
}

void namesNotUtf8(const SimulationDesign& d, const std::vector<TokenSpan>& spans, Findings& out) {
  const std::vector<NamedText> names = namesInReadingOrder(d);
  std::size_t n = 0;
  for (const TokenSpan& span : spans) {
    if (span.kind != TokenSpan::Kind::Quoted || n == names.size()) continue;
    const NamedText& name = names[n++];
    const std::string_view text = name.text;
    const std::size_t bad = invalidUtf8At(text);
    if (bad == std::string_view::npos) continue;
    const int line =
        span.line + static_cast<int>(std::count(text.begin(), text.begin() + bad, '\n'));
    out.push_back({Kind::Refusal, line,
                   "expected " + name.what + " in UTF-8, found " + quotedText(text) + " (byte " +
                       hexByte(text[bad]) + " at offset " +
                       str(span.begin + 1 + static_cast<int64_t>(bad)) + " is not UTF-8)"});
  }
}

// ---- Limits of the exports ------------------------------------------------------

std::string longestExportName(const SimulationDesign& d) {
  const std::string native = longestOutputName(d);
  std::string nifti = native.substr(0, native.rfind('.')) + kLongestNiftiSuffix;
  const std::string subject = host::bidsSubjectLabel(d.NrOfSubjects, d.NrOfSubjects);
  const std::string bids =
      host::bidsFunctionalStem(subject, host::bidsTaskLabel(d.ExperimentName)) + kLongestBidsSuffix;
  return bids.size() > nifti.size() ? bids : nifti;
}

void exportLimits(const SimulationDesign& d, const std::vector<ReadItem>& items, Findings& out) {
  if (d.NrOfSubjects > 0) {
    const std::string name = longestExportName(d);
    if (name.size() > maxOutputNameBytes())
      out.push_back({Kind::ExportRefusal, lineOf(items, "Name"),
                     "expected an experiment name that keeps the file names of --nifti and "
                     "--bids within " +
                         str(static_cast<int64_t>(maxOutputNameBytes())) + " bytes, found " +
                         quotedText(name) + " of " + str(static_cast<int64_t>(name.size())) +
                         " bytes"});
  }
  if (d.NrOfVolumes > kMaxNiftiVolumes)
    out.push_back({Kind::ExportWarning, lineOf(items, "PostVolumes"),
                   "a run of " + str(d.NrOfVolumes) + " volumes: a NIfTI-1 file holds at most " +
                       str(kMaxNiftiVolumes) + ", so --nifti and --bids cannot write this study"});
}

bool byLine(const DesignFinding& a, const DesignFinding& b) { return a.line < b.line; }

}  // namespace

std::vector<DesignFinding> designFindings(const std::filesystem::path& path,
                                          const SimulationDesign& design,
                                          const std::vector<TokenSpan>& spans) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<ReadItem> items = itemsOf(design, spans);
  Findings out;
  namesNotUtf8(design, spans, out);
  exportLimits(design, items, out);
  swappedLabels(file, items, out);
  lowerCaseFlag(file, items, "Rest", 'y', "the rest-period flag", "no rest periods", out);
  lowerCaseFlag(file, items, "EffectRows", 'g', "the effects-per-group flag",
                "one row per subject", out);
  for (int f = 0; f < std::min(design.NrOfWithinFactors, kFactorSlots); ++f)
    duplicateLevels(design.WithinFactors[f], "within factor " + str(f + 1),
                    "Level" + str(f + 1) + "_", items, out);
  if (design.NrOfBetweenFactors >= 1)
    duplicateLevels(design.BetweenFactors[0], "between factor 1", "BetweenLevel", items, out);
  if (design.TrialDuration == 0 && design.NrOfTrials > 0)
    out.push_back({Kind::Warning, lineOf(items, "TrialVolumes"),
                   "trials of 0 volumes: every predictor is zero and no effect reaches the data"});
  regionsOutsideBox(design, items, out);
  negativeSpreads(design, items, out);
  tokensAfterLastItem(file, spans, out);
  std::stable_sort(out.begin(), out.end(), byLine);
  return out;
}

int itemLine(const SimulationDesign& design, const std::vector<TokenSpan>& spans,
             const std::string& name) {
  return lineOf(itemsOf(design, spans), name);
}

std::string located(const std::filesystem::path& path, const DesignFinding& finding) {
  return path.string() + ":" + str(finding.line) + ": " + finding.text;
}

std::string placeOfRefusal(const std::filesystem::path& path, const std::string& refusal,
                           const std::vector<TokenSpan>& spans) {
  // The tokens read by then: label and value of the version, of the within and
  // between factor counts, ..., and last the flag word of the balanced design.
  auto at = [&](std::size_t index, const std::string& text) {
    if (index >= spans.size()) return std::string();
    return path.string() + ":" + str(spans[index].line) + ": " + text;
  };
  if (refusal == texts::kNewFileFormat) return at(1, "the format version is above 1");
  if (refusal == texts::kTooManyWithinFactors) return at(3, "more than 3 within factors");
  if (refusal == texts::kTooManyBetweenFactors) return at(5, "more than 1 between factor");
  if (refusal == texts::kUnbalancedDesign && !spans.empty())
    return at(spans.size() - 1, "the balanced-design flag does not begin with 'Y'");
  return {};
}

bool printDesignWarnings(const std::filesystem::path& controlFile, bool withExports,
                         std::ostream& messages) {
  auto design = std::make_unique<SimulationDesign>();  // far too large for the stack
  std::string refusal;
  std::vector<TokenSpan> spans;
  // A file the reader refuses is the plug-in's to refuse, in its own words.
  if (!parseControlFile(controlFile.c_str(), *design, refusal, spans)) return true;
  bool runs = true;
  for (const DesignFinding& finding : designFindings(controlFile, *design, spans)) {
    const bool refused = finding.kind == Kind::Refusal ||
                         (withExports && finding.kind != Kind::Warning);
    messages << (refused ? "" : "warning: ") << located(controlFile, finding) << '\n';
    runs = runs && !refused;
  }
  messages << std::flush;
  return runs;
}

}  // namespace cohortix::app
