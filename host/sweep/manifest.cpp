#include "host/sweep/manifest.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace cohortix::host::sweep {
namespace {

constexpr char kCommandColumn[] = "command";

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> result;
  std::size_t start = 0;
  for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    result.push_back(line.substr(start, tab - start));
  result.push_back(line.substr(start));
  return result;
}

bool safeInShell(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("_-+=./,:@%").find(c) != std::string_view::npos;
}

}  // namespace

std::string shellQuoted(const std::string& word) {
  bool safe = !word.empty();
  for (char c : word) safe = safe && safeInShell(c);
  if (safe) return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

Result<std::vector<std::string>> shellWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ' ') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else if (c == '\'') {
      const std::size_t close = line.find('\'', i + 1);
      if (close == std::string::npos) return Status::error("a single quote is not closed");
      word += line.substr(i + 1, close - i - 1);
      i = close;
      inWord = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
      inWord = true;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string manifestText(const Plan& plan) {
  std::string text = "design";
  for (const std::string& name : plan.varied) text += "\t" + name;
  text += std::string("\t") + kCommandColumn + "\n";
  for (const PlannedDesign& design : plan.designs) {
    text += design.id;
    for (const std::string& value : design.values) text += "\t" + value;
    std::string command;
    for (const std::string& word : design.command)
      command += (command.empty() ? "" : " ") + shellQuoted(word);
    text += "\t" + command + "\n";
  }
  return text;
}

Result<Plan> parseManifest(const std::string& text, const std::string& name) {
  std::istringstream lines(text);
  std::string line;
  const auto fail = [&name](int number, const std::string& expected, const std::string& found) {
    return Status::error(name + ":" + std::to_string(number) + ": expected " + expected +
                         ", found " + found);
  };
  if (!std::getline(lines, line)) return fail(1, "the header of a sweep manifest", "nothing");
  std::vector<std::string> header = fields(line);
  if (header.size() < 2 || header.front() != "design" || header.back() != kCommandColumn)
    return fail(1, "the header of a sweep manifest (design ... command)", "\"" + line + "\"");
  Plan plan;
  plan.varied.assign(header.begin() + 1, header.end() - 1);
  for (int number = 2; std::getline(lines, line); ++number) {
    std::vector<std::string> row = fields(line);
    if (row.size() != header.size())
      return fail(number, std::to_string(header.size()) + " fields", std::to_string(row.size()));
    Result<std::vector<std::string>> command = shellWords(row.back());
    if (!command || command->empty())
      return fail(number, "a command line", "\"" + row.back() + "\"");
    plan.designs.push_back(
        {row.front(), std::vector<std::string>(row.begin() + 1, row.end() - 1), command.value()});
  }
  return plan;
}

Result<Plan> readManifest(const std::filesystem::path& folder) {
  const std::filesystem::path path = manifestPath(folder);
  std::ifstream file(path, std::ios::binary);
  if (!file)
    return Status::error("cannot read " + path.string() +
                         ": no plan there (cohortix sweep plan writes one)");
  return parseManifest(std::string(std::istreambuf_iterator<char>(file), {}), path.string());
}

const PlannedDesign* findDesign(const Plan& plan, const std::string& idOrNumber) {
  for (const PlannedDesign& design : plan.designs)
    if (design.id == idOrNumber) return &design;
  if (idOrNumber.empty() || idOrNumber.find_first_not_of("0123456789") != std::string::npos ||
      idOrNumber.size() > 9)
    return nullptr;
  const std::size_t number = std::stoul(idOrNumber);
  return number >= 1 && number <= plan.designs.size() ? &plan.designs[number - 1] : nullptr;
}

}  // namespace cohortix::host::sweep
