#pragma once
// Line-by-line reading of our plain-text files (.prt, .rtc) with the line numbers
// that error messages name. Blank lines and lines starting with '#' are comments.
// The first failure is kept ("file:line: expected ..., found ..."): from then on
// the reader is at its end and every read gives an empty or zero value, so a
// parser may read on and ask status() once, or stop early when !ok().

#include <string>
#include <string_view>
#include <vector>

#include "host/io/status.h"

namespace cohortix::host {

class TextLines {
 public:
  TextLines(std::string_view text, std::string fileName);

  // Moves to the next line that is not a comment; false at the end of the text.
  bool advance();
  std::string_view line() const { return line_; }

  // The next line, which must be there; `expected` names it for the error message.
  std::string_view next(std::string_view expected);
  // The value of the next line, which must read "Key: value".
  std::string_view field(std::string_view key);
  long long integerField(std::string_view key, long long min, long long max);
  std::string textField(std::string_view key);
  // Nothing but comments may follow.
  void expectEnd();

  // Keeps the failure unless one is kept already.
  void fail(std::string_view expected, std::string_view found);
  void failOnLine(std::string_view expected);

  bool ok() const { return status_.isOk(); }
  const Status& status() const { return status_; }

 private:
  std::string_view rest_;
  std::string_view line_;
  std::string fileName_;
  int lineNumber_ = 0;
  bool lastLineEnded_ = true;  // an empty text ends on line 1
  bool atEnd_ = false;
  Status status_;
};

// Whole-token number parsing, without locale, sign allowed.
bool parseInteger(std::string_view token, long long min, long long max, long long* value);
bool parseFloat(std::string_view token, float* value);

// The blank-separated tokens of a line.
std::vector<std::string_view> splitTokens(std::string_view line);

// A bit of the input as an error message shows it: quoted, cut when long.
std::string describeFound(std::string_view found);

}  // namespace cohortix::host
