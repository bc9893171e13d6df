#include "host/sweep/sweep_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <toml++/toml.h>

#include "control/token_reader.h"
#include "host/io/toml_text.h"
#include "host/sweep/control_edit.h"
#include "host/sweep/control_refusal.h"

namespace cohortix::host::sweep {
namespace {

// Host options whose value names a file: a relative path is taken from the sweep
// file's folder, as the user reads it, not from where the design runs.
const char* const kFileOptions[] = {"--noise"};

class SweepFileReader {
 public:
  explicit SweepFileReader(const std::filesystem::path& path) : path_(path) {}

  Result<SweepDefinition> read();

 private:
  Status fail(const toml::source_region& where, const std::string& expected,
              const std::string& found) const {
    const std::string line = where.begin.line > 0 ? ":" + std::to_string(where.begin.line) : "";
    return Status::error(path_.string() + line + ": expected " + expected + ", found " + found);
  }
  Status readTopLevel(const toml::table& file, SweepDefinition& definition);
  Status readOptions(const toml::table& options, SweepDefinition& definition);
  Status readAxes(const toml::table& vary, SweepDefinition& definition);
  Result<SweepValue> optionValue(const std::string& option, const toml::node& node) const;
  Result<SweepValue> itemValue(const ControlItem& item, const toml::node& node) const;
  Result<std::string> scalarText(const toml::node& node, const std::string& what) const;
  Status fitsItem(const ControlItems& base, const ControlItem& item, const SweepValue& value,
                  const toml::node& node) const;

  std::filesystem::path path_;
};

// A key as written bare, or quoted when it needs to be.
std::string keyShown(std::string_view key) {
  const bool bare = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
  });
  return bare ? std::string(key) : quotedForMessage(std::string(key));
}

// A value as a refusal shows it, on one line. Written out here rather than by
// toml++'s printer, which takes the logarithm of every number of an array or table
// to lay it out and so goes wrong on values below 0.1 or infinite.
std::string described(const toml::node& node) {
  if (const auto* text = node.as_string()) return quotedForMessage(text->get());
  if (const auto* number = node.as_integer()) return std::to_string(number->get());
  if (const auto* number = node.as_floating_point()) {
    std::ostringstream shown;
    shown << number->get();
    return shown.str();
  }
  if (const auto* flag = node.as_boolean()) return flag->get() ? "true" : "false";
  if (const auto* array = node.as_array()) {
    std::string text = "[";
    for (std::size_t i = 0; i < array->size(); ++i)
      text += (i > 0 ? ", " : "") + described(*array->get(i));
    return text + "]";
  }
  if (const auto* table = node.as_table()) {
    std::string text = "{";
    for (const auto& [key, value] : *table)
      text += (text.size() > 1 ? ", " : " ") + keyShown(key.str()) + " = " + described(value);
    return text + (text.size() > 1 ? " }" : "}");
  }
  std::ostringstream shown;  // a date or a time
  node.visit([&shown](const auto& value) { shown << value; });
  return shown.str();
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> result;
  for (std::string word; stream >> word;) result.push_back(word);
  return result;
}

std::string joined(const std::vector<std::vector<std::string>>& rows) {
  std::string text;
  for (const auto& row : rows)
    for (const std::string& word : row) text += (text.empty() ? "" : " ") + word;
  return text;
}

// Keys in the order they stand in the file (a table keeps them sorted by name).
std::vector<std::pair<const toml::key*, const toml::node*>> inFileOrder(const toml::table& table) {
  std::vector<std::pair<const toml::key*, const toml::node*>> entries;
  for (const auto& [key, node] : table) entries.emplace_back(&key, &node);
  std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    const auto& pa = a.first->source().begin;
    const auto& pb = b.first->source().begin;
    return pa.line != pb.line ? pa.line < pb.line : pa.column < pb.column;
  });
  return entries;
}

bool isOption(std::string_view key) { return key.size() > 2 && key.substr(0, 2) == "--"; }

// What a host option's name may hold, so that it stands as one word anywhere.
bool isOptionName(std::string_view key) {
  return std::all_of(key.begin() + 2, key.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
  });
}

}  // namespace

bool isSweepCommand(const std::string& command) {
  return command == "run" || command == "check" || command == "power";
}

Result<std::string> SweepFileReader::scalarText(const toml::node& node,
                                                const std::string& what) const {
  if (const auto* text = node.as_string()) return text->get();
  if (const auto* integer = node.as_integer()) return std::to_string(integer->get());
  if (const auto* number = node.as_floating_point()) {
    const double value = number->get();
    if (!std::isfinite(value))
      return fail(node.source(), "a finite number for " + what, described(node));
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
  }
  return fail(node.source(), "a number or a text for " + what, described(node));
}

Result<SweepValue> SweepFileReader::optionValue(const std::string& option,
                                                const toml::node& node) const {
  SweepValue value;
  if (const auto* flag = node.as_boolean()) {
    value.shown = flag->get() ? "true" : "false";
    if (flag->get()) value.arguments = {option};
    return value;
  }
  std::string text;
  if (const auto* list = node.as_array()) {
    // A list, such as the subject counts of a power analysis: "8,12,16".
    for (const toml::node& element : *list) {
      Result<std::string> part = scalarText(element, option);
      if (!part) return part.status();
      text += (text.empty() ? "" : ",") + part.value();
    }
  } else {
    Result<std::string> scalar = scalarText(node, option);
    if (!scalar) return scalar.status();
    text = scalar.value();
  }
  value.shown = text;
  const bool names =
      std::find(std::begin(kFileOptions), std::end(kFileOptions), option) != std::end(kFileOptions);
  if (names && !text.empty() && std::filesystem::path(text).is_relative())
    text = std::filesystem::absolute(path_.parent_path() / text).lexically_normal().string();
  value.arguments = {option, text};
  return value;
}

Result<SweepValue> SweepFileReader::itemValue(const ControlItem& item,
                                              const toml::node& node) const {
  SweepValue value;
  const bool oneText = item.values.size() == 1 && item.values[0].kind == TokenSpan::Kind::Quoted;
  if (const auto* text = node.as_string(); text && oneText) {
    value.rows = {{text->get()}};
  } else if (text) {
    // Lines of the text are rows, as an effect table is written in a control file.
    std::istringstream lines(text->get());
    for (std::string line; std::getline(lines, line);)
      if (!words(line).empty()) value.rows.push_back(words(line));
  } else if (const auto* list = node.as_array()) {
    std::vector<std::string> row;
    for (const toml::node& element : *list) {
      if (const auto* inner = element.as_array()) {
        std::vector<std::string> innerRow;
        for (const toml::node& word : *inner) {
          Result<std::string> part = scalarText(word, item.name);
          if (!part) return part.status();
          innerRow.push_back(part.value());
        }
        value.rows.push_back(innerRow);
        continue;
      }
      Result<std::string> part = scalarText(element, item.name);
      if (!part) return part.status();
      row.push_back(part.value());
    }
    if (!row.empty()) value.rows.insert(value.rows.begin(), row);
  } else {
    Result<std::string> scalar = scalarText(node, item.name);
    if (!scalar) return scalar.status();
    value.rows = {{scalar.value()}};
  }
  if (value.rows.empty())
    return fail(node.source(), "at least one value for " + item.name, described(node));
  value.shown = joined(value.rows);
  return value;
}

// A varied item's value as the control file reader takes it: the base with this
// one value in place. A value the reader refuses where it stands (of the wrong
// type, out of range) is refused at its line of the sweep file in the reader's
// words; one that only changes what follows is left to the plan, which reads
// every design whole.
Status SweepFileReader::fitsItem(const ControlItems& base, const ControlItem& item,
                                 const SweepValue& value, const toml::node& node) const {
  const std::string at = path_.string() + ":" + std::to_string(node.source().begin.line) + ": ";
  Result<EditedText> edited = editItems(base, {{&item, value.rows}});
  if (!edited) return Status::error(at + edited.status().message());
  Result<std::optional<ControlRefusal>> refusal = controlRefusal(edited->text);
  if (!refusal) return refusal.status();
  if (!refusal.value()) return Status::ok();
  const int64_t begin = item.values.front().begin;
  const int64_t end = item.values.back().end + int64_t(edited->text.size()) - int64_t(base.text.size());
  const int line = refusal.value()->line;
  if (line < lineAt(edited->text, begin) || line > lineAt(edited->text, end)) return Status::ok();
  return Status::error(at + refusal.value()->message + " (" + item.name + " = " + value.shown + ")");
}

Status SweepFileReader::readTopLevel(const toml::table& file, SweepDefinition& definition) {
  for (const auto& [key, node] : inFileOrder(file)) {
    const std::string name(key->str());
    if (name != "base" && name != "command" && name != "options" && name != "vary")
      return fail(key->source(), "base, command, options or vary", quotedForMessage(name));
  }
  const toml::node* base = file.get("base");
  if (base == nullptr || !base->is_string())
    return fail(base ? base->source() : toml::source_region{},
                "base = \"STUDY.cxd\", the control file the designs vary",
                base ? described(*base) : "none");
  const toml::node* command = file.get("command");
  definition.command = command && command->is_string() ? command->as_string()->get() : "";
  if (command && !isSweepCommand(definition.command))
    return fail(command->source(), "run, check or power for command", described(*command));
  if (!command) definition.command = "run";
  const std::string& baseName = base->as_string()->get();
  if (std::any_of(baseName.begin(), baseName.end(),
                  [](char c) { return std::iscntrl(static_cast<unsigned char>(c)); }))
    return fail(base->source(), "a file name without control characters for base",
                described(*base));
  Result<ControlItems> items = readControlItems(path_.parent_path() / baseName);
  if (!items) return items.status();
  definition.base = std::move(items.value());
  return Status::ok();
}

Status SweepFileReader::readOptions(const toml::table& options, SweepDefinition& definition) {
  for (const auto& [key, node] : inFileOrder(options)) {
    const std::string option(key->str());
    if (!isOption(option) || !isOptionName(option))
      return fail(key->source(), "a host option such as \"--tr\" in [options]",
                  quotedForMessage(option));
    Result<SweepValue> value = optionValue(option, *node);
    if (!value) return value.status();
    definition.options.insert(definition.options.end(), value->arguments.begin(),
                              value->arguments.end());
  }
  return Status::ok();
}

Status SweepFileReader::readAxes(const toml::table& vary, SweepDefinition& definition) {
  for (const auto& [key, node] : inFileOrder(vary)) {
    SweepAxis axis;
    axis.name = std::string(key->str());
    if (isOption(axis.name)) {
      if (!isOptionName(axis.name))
        return fail(key->source(), "a host option such as \"--tr\"", quotedForMessage(axis.name));
      if (std::find(definition.options.begin(), definition.options.end(), axis.name) !=
          definition.options.end())
        return fail(key->source(), "each host option either in [options] or in [vary]",
                    axis.name + " in both");
    } else {
      axis.item = definition.base.find(axis.name);
      if (axis.item == nullptr)
        return fail(key->source(),
                    "an item of " + definition.base.path.filename().string() + " (" +
                        definition.base.names() + ") or a host option such as \"--tr\"",
                    quotedForMessage(axis.name));
    }
    for (const SweepAxis& other : definition.axes)
      if (axis.item != nullptr && other.item == axis.item)
        return fail(key->source(), "each item varied once", axis.name + " as " + other.name);
    const auto* values = node->as_array();
    if (values == nullptr || values->empty())
      return fail(node->source(), "a list of values for " + axis.name, described(*node));
    for (const toml::node& element : *values) {
      Result<SweepValue> value =
          axis.item ? itemValue(*axis.item, element) : optionValue(axis.name, element);
      if (!value) return value.status();
      if (value->shown.find_first_of("\t\r\n") != std::string::npos)
        return fail(element.source(), "a value without tabs or line breaks for " + axis.name,
                    described(element));
      if (axis.item != nullptr)
        if (Status fits = fitsItem(definition.base, *axis.item, value.value(), element); !fits)
          return fits;
      axis.values.push_back(std::move(value.value()));
    }
    definition.axes.push_back(std::move(axis));
  }
  return Status::ok();
}

Result<SweepDefinition> SweepFileReader::read() {
  std::ifstream file(path_, std::ios::binary);
  if (!file) return Status::error("cannot read " + path_.string());
  SweepDefinition definition;
  definition.file = path_;
  definition.text.assign(std::istreambuf_iterator<char>(file), {});
  toml::table table;
  try {
    if (const std::string standIn = tomlAsciiStandIn(definition.text); !standIn.empty())
      static_cast<void>(toml::parse(standIn, path_.string()));
    table = toml::parse(definition.text, path_.string());
  } catch (const toml::parse_error& error) {
    return Status::error(path_.string() + ":" + std::to_string(error.source().begin.line) + ": " +
                         tomlErrorText(error.description()));
  }
  if (Status status = readTopLevel(table, definition); !status) return status;
  if (const toml::node* options = table.get("options")) {
    if (!options->is_table())
      return fail(options->source(), "an [options] table", described(*options));
    if (Status status = readOptions(*options->as_table(), definition); !status) return status;
  }
  const toml::node* vary = table.get("vary");
  if (vary == nullptr || !vary->is_table() || vary->as_table()->empty())
    return fail(vary ? vary->source() : toml::source_region{},
                "a [vary] table naming what the designs vary", vary ? described(*vary) : "none");
  if (Status status = readAxes(*vary->as_table(), definition); !status) return status;
  return definition;
}

Result<SweepDefinition> readSweepFile(const std::filesystem::path& path) {
  return SweepFileReader(path).read();
}

}  // namespace cohortix::host::sweep
