#pragma once
// Writes one VTC at a time on a thread of its own, so the next subject is simulated
// while the previous one goes to disk. The writer owns one staging buffer: a save
// waits for the write under way, copies the finished data into the buffer and
// returns. With the VTC's own buffer that makes at most two subjects' data in
// memory.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace cohortix::host {

class DiskInterface;

struct WriteOutcome {
  std::string name;   // as the plug-in gave it
  bool written = false;
  std::string error;  // the system's reason when not written
  uint64_t bytes = 0;
};

class BackgroundWriter {
 public:
  explicit BackgroundWriter(DiskInterface& disk) : disk_(disk) {}
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // Waits for the write under way, if any, and gives its outcome.
  std::optional<WriteOutcome> wait();

  // Starts writing header + data to path; the caller has waited first. The data
  // are copied into the staging buffer before the call returns.
  void start(std::filesystem::path path, std::string name, std::string header, const float* data,
             std::size_t count);

 private:
  void write();

  DiskInterface& disk_;
  std::thread thread_;
  bool pending_ = false;  // a write was started and its outcome not yet taken
  std::filesystem::path path_;
  std::string header_;
  std::vector<float> staging_;
  WriteOutcome outcome_;
};

}  // namespace cohortix::host
