#include "control/token_reader.h"

#include <cctype>
#include <cerrno>
#include <cstring>

namespace cohortix {
namespace {

bool isWhiteSpace(int c) { return c != EOF && std::isspace(static_cast<unsigned char>(c)); }

constexpr std::size_t kShownTokenLength = 40;

}  // namespace

TokenReader::~TokenReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool TokenReader::open(const char* path, std::string& reason) {
  errno = 0;
  file_ = std::fopen(path, "r");
  if (file_ == nullptr) reason = std::strerror(errno != 0 ? errno : ENOENT);
  return file_ != nullptr;
}

int TokenReader::next() {
  const int c = std::getc(file_);
  if (c != EOF) ++offset_;
  if (c == '\n') ++line_;
  else if (!isWhiteSpace(c) && c != EOF) lastContentLine_ = line_;
  return c;
}

int TokenReader::peek() {
  const int c = std::getc(file_);
  if (c != EOF) std::ungetc(c, file_);
  return c;
}

TokenReader::Result TokenReader::endResult() {
  if (!std::ferror(file_)) return Result::EndOfFile;
  readErrorReason_ = std::strerror(errno != 0 ? errno : EIO);
  return Result::ReadError;
}

void TokenReader::skipWhiteSpace() {
  while (isWhiteSpace(peek())) next();
}

TokenReader::Result TokenReader::readWord(std::string& word, std::size_t maxLength,
                                          std::size_t& length, bool stopAtQuote) {
  word.clear();
  length = 0;
  errno = 0;
  skipWhiteSpace();
  tokenLine_ = line_;
  tokenBegin_ = offset_;
  // Reading stops one character past the limit: a file of any size, or a device
  // that never ends, is refused as soon as one word is too long.
  for (int c = peek(); c != EOF && !isWhiteSpace(c) && length <= maxLength; c = peek()) {
    if (stopAtQuote && c == '"' && length > 0) break;
    next();
    if (length++ < maxLength) word += static_cast<char>(c);
    if (stopAtQuote && c == '"') break;
  }
  tokenEnd_ = offset_;
  if (length == 0) return endResult();
  return length > maxLength ? Result::TooLong : Result::Ok;
}

TokenReader::Result TokenReader::skipPastQuote(std::size_t maxBefore, std::string& skipped) {
  skipped.clear();
  errno = 0;
  tokenLine_ = line_;
  for (int c = next(); c != EOF; c = next()) {
    if (c == '"') {
      tokenBegin_ = offset_ - 1;
      tokenLine_ = line_;
      return Result::Ok;
    }
    if (skipped.size() == maxBefore) {
      skipped += static_cast<char>(c);
      return Result::TooLong;
    }
    skipped += static_cast<char>(c);
  }
  return endResult();
}

TokenReader::Result TokenReader::readUntilQuote(std::string& value, std::size_t maxLength,
                                                std::size_t& length) {
  value.clear();
  length = 0;
  errno = 0;
  for (int c = next(); c != EOF; c = next()) {
    if (c == '"') {
      tokenEnd_ = offset_;
      return Result::Ok;
    }
    if (length++ == maxLength) return Result::TooLong;
    value += static_cast<char>(c);
  }
  return endResult();
}

std::string quotedForMessage(const std::string& text) {
  std::string shown = "\"";
  for (std::size_t i = 0; i < text.size() && i < kShownTokenLength; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte != 0x7f) {
      shown += text[i];
      continue;
    }
    static const char kHex[] = "0123456789abcdef";
    shown += text[i] == '\n' ? std::string("\\n") : std::string("\\x") + kHex[byte >> 4] + kHex[byte & 15];
  }
  if (text.size() > kShownTokenLength) shown += "...";
  return shown + "\"";
}

}  // namespace cohortix
