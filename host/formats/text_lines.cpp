#include "host/formats/text_lines.h"

#include <charconv>
#include <cmath>

#include "host/formats/quoted_text.h"

namespace cohortix::host {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && (isBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

bool isComment(std::string_view line) { return line.empty() || line.front() == '#'; }

}  // namespace

TextLines::TextLines(std::string_view text, std::string fileName)
    : rest_(text), fileName_(std::move(fileName)) {}

bool TextLines::advance() {
  if (atEnd_) return false;
  while (!rest_.empty()) {
    const std::size_t end = rest_.find('\n');
    const std::string_view raw = rest_.substr(0, end);
    lastLineEnded_ = end != std::string_view::npos;
    rest_.remove_prefix(lastLineEnded_ ? end + 1 : rest_.size());
    ++lineNumber_;
    line_ = trim(raw);
    if (!isComment(line_)) return true;
  }
  // The end of a text whose last line was ended lies on the line after it.
  if (lastLineEnded_) ++lineNumber_;
  atEnd_ = true;
  line_ = {};
  return false;
}

std::string_view TextLines::next(std::string_view expected) {
  if (!advance()) fail(expected, "the end of the file");
  return line_;
}

std::string_view TextLines::field(std::string_view key) {
  const std::string expected = std::string(key) + ":";
  const std::string_view line = next(expected);
  if (!ok()) return {};
  if (line.substr(0, expected.size()) != expected) {
    fail(expected, describeFound(line));
    return {};
  }
  return trim(line.substr(expected.size()));
}

long long TextLines::integerField(std::string_view key, long long min, long long max) {
  const std::string_view value = field(key);
  long long number = 0;
  if (ok() && !parseInteger(value, min, max, &number)) {
    fail("a whole number from " + std::to_string(min) + " to " + std::to_string(max) +
             " after " + std::string(key) + ":",
         describeFound(value));
  }
  return number;
}

std::string TextLines::textField(std::string_view key) {
  std::string_view value = field(key);
  std::string text;
  std::string problem;
  if (!ok()) return text;
  if (!unquoteText(value, &text, &problem)) {
    fail(problem + " in the " + std::string(key), describeFound(line_));
  } else if (!trim(value).empty()) {
    fail("the end of the line after the " + std::string(key), describeFound(value));
  }
  return text;
}

void TextLines::expectEnd() {
  if (advance()) fail("the end of the file", describeFound(line_));
}

void TextLines::fail(std::string_view expected, std::string_view found) {
  if (!ok()) return;
  status_ = Status::error(fileName_ + ":" + std::to_string(lineNumber_) + ": expected " +
                          std::string(expected) + ", found " + std::string(found));
  atEnd_ = true;
  line_ = {};
}

void TextLines::failOnLine(std::string_view expected) {
  fail(expected, atEnd_ ? std::string("the end of the file") : describeFound(line_));
}

bool parseInteger(std::string_view token, long long min, long long max, long long* value) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  long long number = 0;
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), number);
  if (error != std::errc() || end != token.data() + token.size() || token.empty()) return false;
  if (number < min || number > max) return false;
  *value = number;
  return true;
}

bool parseFloat(std::string_view token, float* value) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  float number = 0;
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), number);
  if (error != std::errc() || end != token.data() + token.size() || token.empty()) return false;
  *value = number;
  return true;
}

std::vector<std::string_view> splitTokens(std::string_view line) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isBlank(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !isBlank(line[i])) ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

std::string describeFound(std::string_view found) {
  constexpr std::size_t kShown = 40;
  if (found.empty()) return "an empty line";
  if (found.size() <= kShown) return quoteText(found);
  return quoteText(found.substr(0, kShown)) + "...";
}

}  // namespace cohortix::host
