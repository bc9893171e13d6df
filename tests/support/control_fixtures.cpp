#include "tests/support/control_fixtures.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "control/control_file_reader.h"

namespace cohortix::testing {

std::string sourceFileText(const std::string& relativePath) {
  std::ifstream in(std::string(COHORTIX_SOURCE_DIR) + "/" + relativePath);
  EXPECT_TRUE(in.good()) << relativePath;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string edited(const std::string& text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << "no \"" << from << "\" to edit";
  if (at == std::string::npos) return text;
  return text.substr(0, at) + to + text.substr(at + from.size());
}

TempControlFile::TempControlFile(const std::string& text) {
  static std::atomic<int> counter{0};
  const std::filesystem::path dir = std::filesystem::path(COHORTIX_BUILD_DIR) / "test-tmp" / "unit";
  std::filesystem::create_directories(dir);
  path_ = (dir / ("control-" + std::to_string(getpid()) + "-" + std::to_string(counter++) +
                  ".cxd"))
              .string();
  std::ofstream(path_, std::ios::binary) << text;
}

TempControlFile::~TempControlFile() { std::filesystem::remove(path_); }

std::unique_ptr<SimulationDesign> emptyDesign() { return std::make_unique<SimulationDesign>(); }

std::unique_ptr<SimulationDesign> parseText(const std::string& text, std::string& message) {
  TempControlFile file(text);
  auto design = emptyDesign();
  const bool read = parseControlFile(file.path().c_str(), *design, message);
  for (std::size_t at; (at = message.find(file.path())) != std::string::npos;)
    message.replace(at, file.path().size(), "study.cxd");
  if (!read) design.reset();
  return design;
}

std::string refusalOf(const std::string& text) {
  std::string message;
  parseText(text, message);
  return message;
}

}  // namespace cohortix::testing
