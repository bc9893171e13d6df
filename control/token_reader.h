#pragma once
// The control file as a stream of tokens separated by white space, with the line on
// which each token stands, for messages that point the user at the place.

#include <cstddef>
#include <cstdio>
#include <string>

namespace cohortix {

class TokenReader {
 public:
  enum class Result { Ok, EndOfFile, TooLong, ReadError };

  TokenReader() = default;
  ~TokenReader();
  TokenReader(const TokenReader&) = delete;
  TokenReader& operator=(const TokenReader&) = delete;

  // Opens the file for reading; on failure `reason` holds the system's reason.
  bool open(const char* path, std::string& reason);

  // Skips white space, then reads a run of other characters into `word`. A word of
  // more than maxLength characters gives TooLong as soon as its maxLength + 1st
  // character is read, with `word` its first maxLength characters. With stopAtQuote a double quote also
  // ends the word and stays unread, so that a number may touch the quoted string
  // that follows it.
  Result readWord(std::string& word, std::size_t maxLength, std::size_t& length,
                  bool stopAtQuote = false);

  // Discards characters up to and including the next double quote; at most
  // maxBefore characters may come before it (TooLong otherwise). `skipped` holds
  // what was discarded before the quote, or what stood there instead of one.
  Result skipPastQuote(std::size_t maxBefore, std::string& skipped);

  // Reads the characters up to the next double quote and discards that quote. More
  // than maxLength of them give TooLong as soon as the one past the limit is read.
  Result readUntilQuote(std::string& value, std::size_t maxLength, std::size_t& length);

  // The line on which the last word or quoted text began.
  int tokenLine() const { return tokenLine_; }
  // Bytes [tokenBegin, tokenEnd) of the last word, or of the last quoted text with
  // its quotes (from skipPastQuote's quote to readUntilQuote's).
  long tokenBegin() const { return tokenBegin_; }
  long tokenEnd() const { return tokenEnd_; }
  // The line of the next character to be read.
  int line() const { return line_; }
  // The last line holding anything but white space: where the file ends for a user.
  int lastContentLine() const { return lastContentLine_; }
  // The system's reason for the last ReadError.
  const std::string& readErrorReason() const { return readErrorReason_; }

 private:
  int next();
  int peek();
  Result endResult();
  void skipWhiteSpace();

  std::FILE* file_ = nullptr;
  int line_ = 1;
  int tokenLine_ = 1;
  int lastContentLine_ = 1;
  long offset_ = 0;
  long tokenBegin_ = 0;
  long tokenEnd_ = 0;
  std::string readErrorReason_;
};

// A token for a message: in double quotes, shortened to its first characters, with
// bytes that would not show escaped.
std::string quotedForMessage(const std::string& text);

}  // namespace cohortix
