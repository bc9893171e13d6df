#pragma once
// What watches the files a disk puts in place: the bytes of each as its writer
// hands them over, and the moment the file is whole under its final name. A run's
// record keeps every file's size and checksum this way, without reading the files
// back.

#include <filesystem>
#include <memory>
#include <string_view>

namespace cohortix::host {

class WriteObserver {
 public:
  virtual ~WriteObserver() = default;

  // One file while it is written.
  class File {
   public:
    virtual ~File() = default;
    // The next bytes of the file, in order, on the writer's thread.
    virtual void add(std::string_view bytes) = 0;
    // The file is whole under its final name; from any thread. A file given up
    // never gets here.
    virtual void inPlace() = 0;
  };

  // A file about to be written at path; null: not watched. From any thread.
  virtual std::shared_ptr<File> begin(const std::filesystem::path& path) = 0;
  // The file at path was removed.
  virtual void removed(const std::filesystem::path& path) = 0;
};

}  // namespace cohortix::host
