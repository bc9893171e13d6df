#pragma once
// The checked reading of the host's TOML profiles (toml++, which keeps every
// value's source position): each refusal is "file:line: expected ..., found ...".
// Used by the noise profile and by the scanner's acquisition beside it.

#include <toml++/toml.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "host/io/status.h"
#include "host/io/toml_text.h"

namespace cohortix::host::noise {

// What a bad value is reported as: its source line and the key's full name.
class ProfileError {
 public:
  explicit ProfileError(std::string message) : message_(std::move(message)) {}
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

inline std::string describe(const toml::node& node) {
  switch (node.type()) {
    // A text may hold line breaks and control characters: shown escaped.
    case toml::node_type::string: return "the text \"" + tomlErrorText(*node.value<std::string_view>()) + "\"";
    case toml::node_type::integer:
    case toml::node_type::floating_point: {
      std::ostringstream text;
      text << *node.value<double>();
      return text.str();
    }
    case toml::node_type::boolean: return *node.value<bool>() ? "true" : "false";
    case toml::node_type::array: return "a list";
    case toml::node_type::table: return "a table";
    default: return "a date or time";
  }
}

class Reader {
 public:
  explicit Reader(std::string name) : name_(std::move(name)) {}

  [[noreturn]] void fail(const toml::source_region& where, const std::string& expected,
                         const std::string& found) const {
    throw ProfileError(name_ + ":" + std::to_string(where.begin.line) + ": expected " + expected +
                       ", found " + found);
  }

  // Every key of the table must be one of `known`.
  void onlyKeys(const toml::table& table, const std::string& where,
                std::initializer_list<std::string_view> known) const {
    for (const auto& [key, node] : table) {
      bool found = false;
      for (const std::string_view k : known) found = found || key.str() == k;
      if (found) continue;
      std::string list;
      for (const std::string_view k : known) list += (list.empty() ? "" : ", ") + std::string(k);
      // A quoted key may hold line breaks and control characters: shown escaped.
      fail(key.source(), "one of " + list + " in " + where, "\"" + tomlErrorText(key.str()) + "\"");
    }
  }

  const toml::table& table(const toml::node& node, const std::string& what) const {
    if (!node.is_table()) fail(node.source(), "a table for " + what, describe(node));
    return *node.as_table();
  }

  // A number within [low, high]; `fallback` when the key is absent.
  double number(const toml::table& table, std::string_view key, const std::string& what, double fallback,
                double low, double high) const {
    const toml::node* node = table.get(key);
    if (!node) return fallback;
    if (!node->is_number()) fail(node->source(), "a number for " + what, describe(*node));
    const double value = *node->value<double>();
    if (!(value >= low && value <= high) || !std::isfinite(value)) {
      std::ostringstream range;
      if (high == HUGE_VAL)
        range << what << " of " << low << " or more";
      else
        range << what << " from " << low << " to " << high;
      fail(node->source(), range.str(), describe(*node));
    }
    return value;
  }

  double required(const toml::table& table, std::string_view key, const std::string& what, double low,
                  double high, const std::string& section) const {
    if (!table.get(key)) fail(table.source(), std::string(key) + " in " + section, "none");
    return number(table, key, what, 0.0, low, high);
  }

  std::vector<double> coefficients(const toml::table& table, std::string_view key, const std::string& what,
                                   std::vector<double> fallback) const {
    const toml::node* node = table.get(key);
    if (!node) return fallback;
    if (!node->is_array()) fail(node->source(), "a list of numbers for " + what, describe(*node));
    std::vector<double> values;
    for (const toml::node& element : *node->as_array()) {
      if (!element.is_number()) fail(element.source(), "numbers in " + what, describe(element));
      values.push_back(*element.value<double>());
      if (!std::isfinite(values.back())) fail(element.source(), "finite numbers in " + what, describe(element));
    }
    if (values.size() > 8) fail(node->source(), "at most 8 coefficients in " + what, std::to_string(values.size()));
    return values;
  }

  std::string text(const toml::table& table, std::string_view key, const std::string& what,
                   std::string fallback) const {
    const toml::node* node = table.get(key);
    if (!node) return fallback;
    if (!node->is_string()) fail(node->source(), "a text for " + what, describe(*node));
    return std::string(*node->value<std::string_view>());
  }

  // A whole number within [low, high]; `fallback` when the key is absent.
  int64_t integer(const toml::table& table, std::string_view key, const std::string& what, int64_t fallback,
                  int64_t low, int64_t high) const {
    const toml::node* node = table.get(key);
    if (!node) return fallback;
    if (!node->is_integer()) fail(node->source(), "a whole number for " + what, describe(*node));
    const int64_t value = *node->value<int64_t>();
    if (value < low || value > high)
      fail(node->source(), what + " from " + std::to_string(low) + " to " + std::to_string(high), describe(*node));
    return value;
  }

  // The line a key's value is on; 0 when the key is absent.
  static int lineOf(const toml::table& table, std::string_view key) {
    const toml::node* node = table.get(key);
    return node ? static_cast<int>(node->source().begin.line) : 0;
  }

  // The tables of an array of tables.
  std::vector<const toml::table*> tables(const toml::node* node, const std::string& what) const {
    std::vector<const toml::table*> result;
    if (!node) return result;
    if (!node->is_array_of_tables())
      fail(node->source(), "[[" + what + "]] tables", describe(*node));
    for (const toml::node& element : *node->as_array()) result.push_back(element.as_table());
    return result;
  }

 private:
  std::string name_;
};

// The text as TOML, or its syntax error as "name:line: expected TOML, found a
// syntax error: ..." (whatever the library quotes shown escaped).
Result<toml::table> parseProfileToml(std::string_view text, const std::string& name);

// The profile file's text; `what` names it in the refusal ("the noise profile").
Result<std::string> readProfileText(const std::filesystem::path& file, const std::string& what);

}  // namespace cohortix::host::noise
