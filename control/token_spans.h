#pragma once
// Where each token the reader took stands in the control file, for tools that
// rewrite a file value by value and must find the values exactly where the reader
// finds them: labels are arbitrary words, so only the reader knows which token is
// which.

#include <cstdint>

namespace cohortix {

struct TokenSpan {
  enum class Kind { Label, Integer, Number, Flag, Quoted };
  Kind kind = Kind::Label;
  // Bytes [begin, end) of the file; a quoted text with both its quotes.
  int64_t begin = 0;
  int64_t end = 0;
  int line = 0;
};

}  // namespace cohortix
