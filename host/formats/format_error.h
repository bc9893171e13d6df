#pragma once
// A file that does not hold what its format promises. The message already reads
// "file:line: what was expected, what was found".

#include <stdexcept>
#include <string>

namespace cohortix::host {

class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace cohortix::host
