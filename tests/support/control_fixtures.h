#pragma once
// Control files for tests: the examples as text, small edits of them, and
// temporary files that hold a text for as long as a test needs it.

#include <memory>
#include <string>

#include "control/simulation_design.h"

namespace cohortix::testing {

// A file of the source tree (e.g. "tests/data/two-by-two.cxd") as text.
std::string sourceFileText(const std::string& relativePath);

// text with the first occurrence of `from` replaced by `to`; fails the test when
// `from` does not occur.
std::string edited(const std::string& text, const std::string& from, const std::string& to);

// A file under the build folder's test-tmp holding a text, removed again at the end.
class TempControlFile {
 public:
  explicit TempControlFile(const std::string& text);
  ~TempControlFile();
  TempControlFile(const TempControlFile&) = delete;
  TempControlFile& operator=(const TempControlFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A fresh, zeroed design on the heap (the record is too large for the stack).
std::unique_ptr<SimulationDesign> emptyDesign();

// Parses text as a control file. On success returns the design; otherwise null,
// with the message in `message`, every occurrence of the temporary path replaced
// by "study.cxd".
std::unique_ptr<SimulationDesign> parseText(const std::string& text, std::string& message);

// The message a text is refused with ("" when it is read).
std::string refusalOf(const std::string& text);

}  // namespace cohortix::testing
