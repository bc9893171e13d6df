#include "host/record/run_recorder.h"

#include <sys/utsname.h>

#include <algorithm>
#include <ctime>
#include <system_error>
#include <thread>

#include "host/io/disk_interface.h"
#include "host/io/temporary_files.h"
#include "host/record/checksum.h"

namespace cohortix::host::record {
namespace {

namespace fs = std::filesystem;

std::string utcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// The path below root, '/'-separated; empty when path is not below it.
std::string pathBelow(const fs::path& path, const fs::path& root) {
  const fs::path relative = path.lexically_relative(root);
  if (relative.empty() || *relative.begin() == ".." || relative == ".") return {};
  return relative.generic_string();
}

Result<RecordedText> keptCopy(const std::string& option, const fs::path& path) {
  RealDiskInterface disk;
  Result<std::string> text = disk.readFile(path);
  if (!text) return text.status().context("cannot keep a copy of " + path.string());
  return RecordedText{option, path.string(), checksumOf(text.value()), std::move(text).value()};
}

// The output that holds path: the deepest of the folders that hold it.
const std::pair<std::string, std::string>* outputHolding(const RunRecord& record,
                                                         const fs::path& path,
                                                         std::string* below) {
  const std::pair<std::string, std::string>* found = nullptr;
  std::size_t depth = 0;
  for (const auto& output : record.outputs) {
    const fs::path root = normalPath(output.second);
    const std::string relative = pathBelow(path, root);
    const std::size_t rootDepth = static_cast<std::size_t>(std::distance(root.begin(), root.end()));
    if (relative.empty() || (found != nullptr && rootDepth <= depth)) continue;
    found = &output;
    depth = rootDepth;
    *below = relative;
  }
  return found;
}

bool isRecordItself(const RecordedFile& file, const RunRecord& record) {
  const fs::path folder = record.outputFolder(file.output);
  return normalPath(recordPathIn(file.output, folder)) == normalPath(folder / file.path);
}

}  // namespace

fs::path recordPathIn(const std::string& output, const fs::path& folder) {
  return output == "bids" ? folder / "code" / kRunRecordName : folder / kRunRecordName;
}

fs::path findRunRecord(const fs::path& folder) {
  std::error_code error;
  for (const fs::path& candidate : {folder / kRunRecordName, folder / "code" / kRunRecordName})
    if (fs::is_regular_file(candidate, error)) return candidate;
  return {};
}

std::vector<std::pair<std::string, std::string>> currentPlatform() {
  std::vector<std::pair<std::string, std::string>> platform;
  utsname name{};
  if (uname(&name) == 0) {
    platform.emplace_back("System", name.sysname);
    platform.emplace_back("Release", name.release);
    platform.emplace_back("Machine", name.machine);
  }
#if defined(__clang__)
  platform.emplace_back("Compiler", std::string("clang ") + __clang_version__);
#elif defined(__GNUC__)
  platform.emplace_back("Compiler", std::string("GCC ") + __VERSION__);
#endif
  platform.emplace_back("Cores", std::to_string(std::thread::hardware_concurrency()));
  return platform;
}

std::string cohortixVersion() { return COHORTIX_VERSION; }

RunRecorder::RunRecorder(RunRecord asked) : record_(std::move(asked)) {
  record_.cohortixVersion = cohortixVersion();
  record_.started = utcNow();
  std::error_code error;
  record_.workingDirectory = fs::current_path(error).string();
  record_.platform = currentPlatform();
}

Status RunRecorder::keepControlFile(const std::string& option, const fs::path& path) {
  Result<RecordedText> copy = keptCopy(option, path);
  if (!copy) return copy.status();
  record_.controlFile = std::move(copy).value();
  return Status::ok();
}

Status RunRecorder::keepProfile(const std::string& option, const fs::path& path) {
  Result<RecordedText> copy = keptCopy(option, path);
  if (!copy) return copy.status();
  record_.profiles.push_back(std::move(copy).value());
  return Status::ok();
}

Status RunRecorder::keepPlugin(const fs::path& library) {
  Result<FileChecksum> sum = fileChecksum(library);
  if (!sum) return sum.status().context("cannot read the plug-in " + library.string());
  record_.pluginPath = normalPath(library).string();
  record_.pluginChecksum = sum.value().checksum;
  return Status::ok();
}

void RunRecorder::stage(const std::string& name) {
  const auto now = std::chrono::steady_clock::now();
  if (!stageName_.empty())
    record_.stages.push_back(
        {stageName_, std::chrono::duration<double>(now - stageStart_).count()});
  stageName_ = name;
  stageStart_ = now;
}

namespace {

// Adds every file under root that `files` does not hold yet, checksummed from the
// disk (temporaries aside).
Status addFilesFound(const fs::path& root, std::map<fs::path, WrittenFile>& files) {
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    const fs::path path = it->path();
    if (!it->is_regular_file(error) || files.contains(path) ||
        path.filename().string().starts_with(kTemporaryPrefix))
      continue;
    Result<FileChecksum> sum = fileChecksum(path);
    if (!sum) return sum.status().context("cannot read " + path.string());
    files[path] = {sum.value().bytes, sum.value().checksum};
  }
  if (error) return Status::fromErrno(error.value()).context("cannot list " + root.string());
  return Status::ok();
}

// Each file under the output that holds it, sorted; the records themselves left out.
void listFiles(const std::map<fs::path, WrittenFile>& files, RunRecord& record) {
  for (const auto& [path, file] : files) {
    std::string below;
    const auto* output = outputHolding(record, path, &below);
    if (output == nullptr) continue;
    RecordedFile recorded{output->first, below, file.bytes, file.checksum};
    if (!isRecordItself(recorded, record)) record.files.push_back(std::move(recorded));
  }
  std::sort(record.files.begin(), record.files.end(), [](const auto& a, const auto& b) {
    return std::tie(a.output, a.path) < std::tie(b.output, b.path);
  });
}

}  // namespace

RunRecord RunRecorder::snapshot() const {
  RunRecord record = record_;
  std::map<fs::path, WrittenFile> files = files_.all();
  for (const fs::path& path : leftOut_) files.erase(path);
  listFiles(files, record);
  const auto key = [](const RecordedFile& file) { return std::tie(file.output, file.path); };
  const auto before = [&](const RecordedFile& a, const RecordedFile& b) { return key(a) < key(b); };
  const std::size_t written = record.files.size();
  for (const RecordedFile& carried : carried_)
    if (!std::binary_search(record.files.begin(), record.files.begin() + static_cast<std::ptrdiff_t>(written),
                            carried, before))
      record.files.push_back(carried);
  std::sort(record.files.begin(), record.files.end(), before);
  return record;
}

Result<RunRecord> RunRecorder::finish(int exitStatus) {
  stage("");
  RunRecord record = record_;
  record.ended = utcNow();
  record.exitStatus = exitStatus;
  std::map<fs::path, WrittenFile> files = files_.all();
  for (const std::string& output : scanned_)
    if (Status found = addFilesFound(normalPath(record.outputFolder(output)), files); !found)
      return found;
  for (const fs::path& path : leftOut_) files.erase(path);
  listFiles(files, record);
  return record;
}

Status writeRunRecord(const RunRecord& record, DiskInterface& disk) {
  const std::string text = runRecordJson(record);
  const std::string_view parts[] = {text};
  Status first;
  for (const auto& [output, folder] : record.outputs) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) continue;
    const fs::path path = recordPathIn(output, folder);
    Status written = disk.makeDirs(path.parent_path());
    if (written) written = disk.writeFile(path, parts);
    if (!written && first) first = std::move(written).context("cannot write " + path.string());
  }
  return first;
}

Result<RunRecord> readRunRecord(const fs::path& path, DiskInterface& disk) {
  Result<JsonValue> json = readJsonFile(path, disk, runRecordLimits());
  if (!json) return json.status();
  Result<RunRecord> record = runRecordOf(json.value());
  if (!record) return record.status().context("cannot read " + path.string());
  return record;
}

}  // namespace cohortix::host::record
