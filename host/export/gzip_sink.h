#pragma once
// Compresses what is written to it into a gzip stream for another sink, in memory
// and piece by piece: a compressed file is created like any other by the disk.

#include <memory>
#include <string>
#include <string_view>

#include "host/io/disk_interface.h"

namespace cohortix::host {

class GzipSink : public FileSink {
 public:
  // `level` 1 (fastest) to 9 (smallest).
  GzipSink(FileSink& out, int level);
  ~GzipSink() override;
  GzipSink(const GzipSink&) = delete;
  GzipSink& operator=(const GzipSink&) = delete;

  Status write(std::string_view bytes) override;
  // Ends the stream; nothing may be written after it.
  Status finish();

 private:
  Status deflateInto(int flush);

  FileSink& out_;
  struct Stream;
  std::unique_ptr<Stream> stream_;
  std::string buffer_;
};

}  // namespace cohortix::host
