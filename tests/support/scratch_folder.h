#pragma once
// A fresh folder of the test's own in the temporary folder, removed afterwards.
// Named after the process and the test, so tests running side by side never
// share one, nor do two folders of one test.

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace cohortix::testing {

class ScratchFolder {
 public:
  ScratchFolder() {
    static int folders = 0;
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name =
        "cohortix-unit-" + std::to_string(::getpid()) + "-" + std::to_string(++folders);
    if (test != nullptr) name += std::string("-") + test->test_suite_name() + "-" + test->name();
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  // Writes text to a file in the folder and returns its path.
  std::filesystem::path write(const std::string& name, const std::string& text) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream(file) << text;
    return file;
  }

  // The names of the folder's entries, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace cohortix::testing
