#include "host/session/background_writer.h"

#include <algorithm>
#include <system_error>

#include "host/io/disk_interface.h"
#include "host/formats/vtc_format.h"

namespace cohortix::host {

BackgroundWriter::~BackgroundWriter() { wait(); }

std::optional<WriteOutcome> BackgroundWriter::wait() {
  if (!pending_) return std::nullopt;
  if (thread_.joinable()) thread_.join();
  pending_ = false;
  return std::move(outcome_);
}

void BackgroundWriter::start(std::filesystem::path path, std::string name, std::string header,
                             const float* data, std::size_t count) {
  path_ = std::move(path);
  header_ = std::move(header);
  outcome_ = WriteOutcome{std::move(name), false, {}, header_.size() + count * sizeof(float)};
  // Same size every subject of a run: the buffer is allocated once.
  staging_.resize(count);
  std::copy(data, data + count, staging_.begin());
  pending_ = true;
  try {
    thread_ = std::thread([this] { write(); });
  } catch (const std::system_error&) {
    write();  // no thread to be had: write it here and now
  }
}

void BackgroundWriter::write() {
  try {
    const std::string_view parts[] = {header_, vtcDataBytes(staging_.data(), staging_.size())};
    const Status written = disk_.writeFile(path_, parts);
    outcome_.written = written.isOk();
    outcome_.error = written.message();
  } catch (const std::exception& error) {
    outcome_.error = error.what();
  }
}

}  // namespace cohortix::host
