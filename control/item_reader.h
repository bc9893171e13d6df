#pragma once
// Reads the tokens of a control file's items and, when one cannot be read, words
// the single message the user gets: "file:line: expected ..., found ...", naming
// the item in the user's terms ("the number of levels of within factor 2").

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "control/token_reader.h"
#include "control/token_spans.h"

namespace cohortix {

class ItemReader {
 public:
  ItemReader(const char* path, std::string& message) : path_(path), message_(message) {}

  bool open();

  // Each reads one token of the named item; false leaves the message set.
  bool label(const std::string& item);
  bool integer(const std::string& item, int32_t& value);
  bool number(const std::string& item, float& value);
  bool flag(const std::string& item, char& first);
  // A quoted text of at most maxLength characters into dest (maxLength + 1 bytes).
  bool quoted(const std::string& item, char* dest, std::size_t maxLength);

  // "file:line: expected <expected>, found <found>"; always false.
  bool fail(int line, const std::string& expected, const std::string& found);
  // One of the reader's own rejections, shown as it stands; always false.
  bool reject(const char* text);

  // The line of the token read last, and the word read last.
  int line() const { return tokens_.tokenLine(); }
  const std::string& lastWord() const { return word_; }

  // A value read as given that may be what sends the reading astray (a lower-case
  // flag word): should the reading fail later, the message names this line first.
  void suspect(const std::string& note);

  // From now on, every token read whole is appended to spans (null: none).
  void recordSpans(std::vector<TokenSpan>* spans) { spans_ = spans; }

 private:
  // A word of the given kind ("a label") read in a context ("before the mean
  // baseline").
  bool word(const std::string& kind, const std::string& context, std::size_t maxLength,
            bool stopAtQuote);
  bool failRead(TokenReader::Result result, const std::string& expected);
  bool parsed(int outcome, const std::string& item, const char* kind);
  bool record(TokenSpan::Kind kind);

  // A number where a label stands, then a word where the item's first value
  // stands: the item before has a value too many; the message names the number.
  // True when it set the message.
  bool valueTooManyBefore(const std::string& item);

  const char* path_;
  std::string& message_;
  TokenReader tokens_;
  std::string word_;
  std::vector<TokenSpan>* spans_ = nullptr;
  std::string label_;        // the last label read
  std::string labelItem_;    // the item it opened
  int labelLine_ = 0;
  int valuesSinceLabel_ = 0;
  std::string suspect_;      // "file:line: note" of suspect(), or empty
  int suspectLine_ = 0;
};

}  // namespace cohortix
