#include "control/item_reader.h"

#include <cstring>

#include "control/number_parsing.h"
#include "control/simulation_design.h"

namespace cohortix {
namespace {

// A number needs no more; the limit only bounds what a garbled file can make us hold.
constexpr std::size_t kMaxNumberLength = 4096;
constexpr char kEndOfFile[] = "the end of the file";

std::string characters(std::size_t count) { return std::to_string(count) + " characters"; }

std::string trimmed(const std::string& text) {
  const char* blanks = " \t\r\n\v\f";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

bool ItemReader::open() {
  std::string reason;
  if (tokens_.open(path_, reason)) return true;
  message_ = std::string("cannot open ") + path_ + ": " + reason;
  return false;
}

bool ItemReader::fail(int line, const std::string& expected, const std::string& found) {
  const std::string failure = "expected " + expected + ", found " + found;
  if (!suspect_.empty() && line > suspectLine_) {
    message_ = suspect_ + "; the reading then fails on line " + std::to_string(line) + ": " +
               failure;
    return false;
  }
  message_ = std::string(path_) + ":" + std::to_string(line) + ": " + failure;
  return false;
}

void ItemReader::suspect(const std::string& note) {
  if (!suspect_.empty()) return;
  suspectLine_ = line();
  suspect_ = std::string(path_) + ":" + std::to_string(suspectLine_) + ": " + note;
}

bool ItemReader::valueTooManyBefore(const std::string& item) {
  float number = 0;
  if (valuesSinceLabel_ != 0 || parseFloat32(label_, number) != NumberParse::Ok ||
      parseFloat32(word_, number) != NumberParse::Malformed)
    return false;
  fail(labelLine_, "a label before " + labelItem_,
       "the number " + quotedForMessage(label_) + " (and then " + quotedForMessage(word_) +
           " on line " + std::to_string(line()) + " for " + item +
           "): the item before it has a value too many");
  return true;
}

bool ItemReader::reject(const char* text) {
  message_ = text;
  return false;
}

bool ItemReader::failRead(TokenReader::Result result, const std::string& expected) {
  if (result == TokenReader::Result::ReadError) {
    message_ = std::string("cannot read ") + path_ + ": " + tokens_.readErrorReason();
    return false;
  }
  return fail(tokens_.lastContentLine(), expected, kEndOfFile);
}

bool ItemReader::word(const std::string& kind, const std::string& context,
                      std::size_t maxLength, bool stopAtQuote) {
  std::size_t length = 0;
  const TokenReader::Result result = tokens_.readWord(word_, maxLength, length, stopAtQuote);
  if (result == TokenReader::Result::Ok) return true;
  if (result != TokenReader::Result::TooLong) return failRead(result, kind + " " + context);
  return fail(line(), kind + " of at most " + characters(maxLength) + " " + context,
              quotedForMessage(word_) + " of more than " + characters(maxLength));
}

bool ItemReader::record(TokenSpan::Kind kind) {
  if (spans_ != nullptr)
    spans_->push_back({kind, tokens_.tokenBegin(), tokens_.tokenEnd(), tokens_.tokenLine()});
  return true;
}

bool ItemReader::label(const std::string& item) {
  if (!word("a label", "before " + item, kMaxWordLength, false)) return false;
  label_ = word_;
  labelItem_ = item;
  labelLine_ = line();
  valuesSinceLabel_ = 0;
  return record(TokenSpan::Kind::Label);
}

bool ItemReader::flag(const std::string& item, char& first) {
  if (!word("a flag word", "for " + item, kMaxWordLength, false)) return false;
  first = word_[0];
  return record(TokenSpan::Kind::Flag);
}

bool ItemReader::integer(const std::string& item, int32_t& value) {
  if (!word("an integer", "for " + item, kMaxNumberLength, true)) return false;
  switch (parseInt32(word_, value)) {
    case NumberParse::Ok: ++valuesSinceLabel_; return record(TokenSpan::Kind::Integer);
    case NumberParse::OutOfRange:
      return fail(line(), "an integer from -2147483648 to 2147483647 for " + item,
                  quotedForMessage(word_));
    default:
      return !valueTooManyBefore(item) &&
             fail(line(), "an integer for " + item, quotedForMessage(word_));
  }
}

bool ItemReader::number(const std::string& item, float& value) {
  if (!word("a number", "for " + item, kMaxNumberLength, true)) return false;
  switch (parseFloat32(word_, value)) {
    case NumberParse::Ok: ++valuesSinceLabel_; return record(TokenSpan::Kind::Number);
    case NumberParse::OutOfRange:
      return fail(line(), "a number within the range of a 32-bit float for " + item,
                  quotedForMessage(word_));
    case NumberParse::NotFinite:
      return fail(line(), "a finite number for " + item, quotedForMessage(word_));
    default:
      return !valueTooManyBefore(item) &&
             fail(line(), "a number for " + item, quotedForMessage(word_));
  }
}

bool ItemReader::quoted(const std::string& item, char* dest, std::size_t maxLength) {
  const std::string opening = "a double quote opening " + item;
  TokenReader::Result result = tokens_.skipPastQuote(kMaxWordLength, word_);
  if (result == TokenReader::Result::TooLong)
    return fail(line(), opening + " within " + characters(kMaxWordLength),
                quotedForMessage(trimmed(word_)));
  if (result != TokenReader::Result::Ok) return failRead(result, opening);
  const int openLine = tokens_.line();
  std::size_t length = 0;
  result = tokens_.readUntilQuote(word_, maxLength, length);
  if (result == TokenReader::Result::TooLong)
    return fail(openLine, item + " of at most " + characters(maxLength),
                "more than " + characters(maxLength));
  if (result != TokenReader::Result::Ok)
    return failRead(result, "a double quote closing " + item + " opened on line " +
                                std::to_string(openLine));
  // A NUL would end the text where it stands and silently drop the rest of it.
  if (word_.find('\0') != std::string::npos)
    return fail(openLine, item + " without a NUL character", quotedForMessage(word_));
  std::memcpy(dest, word_.c_str(), word_.size() + 1);
  return record(TokenSpan::Kind::Quoted);
}

}  // namespace cohortix
