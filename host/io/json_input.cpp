#include "host/io/json_input.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <unordered_set>
#include <utility>
#include <vector>

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;
using Event = JsonValue::parse_event_t;

// A fault found while the parser runs, thrown out of its callback to stop it.
struct JsonFault {
  std::string what;
};

// Input quoted in a message: control characters and bytes beyond ASCII as \xNN,
// so the message stays one line of text whatever the file holds.
std::string shown(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f) {
      out += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    }
  }
  return out;
}

std::string tooLarge(uint64_t bytes, const JsonLimits& limits) {
  return "the file holds " + std::to_string(bytes) + " bytes, more than any " + limits.kind +
         " (at most " + std::to_string(limits.bytes) + ")";
}

// The open objects and lists while the parser reads, to refuse a key given twice
// in one object and nesting beyond the limit, and to say where.
class Nesting {
 public:
  static constexpr std::size_t kMaxKeys = 4096;

  explicit Nesting(int limit) : limit_(limit) {}

  void see(Event event, const JsonValue& parsed) {
    switch (event) {
      case Event::object_start:
      case Event::array_start:
        if (open_.size() >= static_cast<std::size_t>(limit_))
          throw JsonFault{"objects and lists nested deeper than " + std::to_string(limit_) +
                          " levels, at " + pointer(open_.size())};
        open_.push_back(Level{event == Event::object_start, {}, {}, 0});
        break;
      case Event::key: {
        Level& object = open_.back();
        std::string key = parsed.get<std::string>();
        // The library keeps an object's keys in file order and finds each new one
        // by a linear search: an object of very many keys would take quadratic time.
        if (object.keys.size() >= kMaxKeys)
          throw JsonFault{(open_.size() == 1 ? std::string("the top-level object")
                                             : "the object at " + pointer(open_.size() - 1)) +
                          " holds more than " + std::to_string(kMaxKeys) + " keys"};
        if (!object.keys.insert(key).second)
          throw JsonFault{(open_.size() == 1 ? std::string("the top-level object")
                                             : "the object at " + pointer(open_.size() - 1)) +
                          " holds the key \"" + shown(key) + "\" twice"};
        object.key = std::move(key);
        break;
      }
      case Event::object_end:
      case Event::array_end:
        open_.pop_back();
        counted();
        break;
      case Event::value:
        counted();
        break;
    }
  }

 private:
  struct Level {
    bool object = false;
    std::unordered_set<std::string> keys;
    std::string key;         // an object's: the key of the value being read
    std::size_t values = 0;  // a list's: the values read so far
  };

  void counted() {
    if (!open_.empty() && !open_.back().object) ++open_.back().values;
  }

  // A JSON Pointer to the value the first `levels` open levels lead to.
  std::string pointer(std::size_t levels) const {
    std::string text;
    for (std::size_t i = 0; i < levels; ++i) {
      text += '/';
      if (!open_[i].object) {
        text += std::to_string(open_[i].values);
        continue;
      }
      for (const char c : open_[i].key)
        text += c == '~' ? std::string("~0") : c == '/' ? std::string("~1") : std::string(1, c);
    }
    return text.empty() ? std::string("the top") : shown(text);
  }

  int limit_;
  std::vector<Level> open_;
};

// The library's message without its prefix and without what it last read (which
// may be long, and is not always only the token at fault): "[json.exception.
// parse_error.101] parse error at line 2, column 5: syntax error while parsing
// object - invalid literal; last read: '...'; expected ..." becomes "syntax error
// while parsing object - invalid literal; expected ...".
std::string libraryText(std::string what) {
  if (const std::size_t end = what.find("] "); what.rfind("[json.exception.", 0) == 0 && end != std::string::npos)
    what.erase(0, end + 2);
  if (what.rfind("parse error", 0) == 0) what.erase(0, std::min(what.size(), what.find(": ") + 2));
  if (const std::size_t read = what.find("; last read: '"); read != std::string::npos) {
    const std::size_t expected = what.rfind("'; expected ");
    what = what.substr(0, read) + (expected != std::string::npos && expected > read ? what.substr(expected + 1) : "");
  }
  if (what.size() > 200) what = what.substr(0, 200) + "...";
  return shown(what);
}

// Where the parser stopped, counted in the text itself: the byte the library
// names (1 for the first) on its line and column.
std::string position(std::string_view text, std::size_t byte) {
  const std::size_t at = std::min(byte == 0 ? 0 : byte - 1, text.size());
  const std::size_t lineStart = at == 0 ? 0 : text.rfind('\n', at - 1) + 1;
  const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n');
  return "line " + std::to_string(line) + ", column " + std::to_string(at - lineStart + 1) + " (byte " +
         std::to_string(at) + ")";
}

std::string parseErrorText(std::string_view text, const JsonValue::parse_error& error) {
  const std::string what = libraryText(error.what());
  // A string with bytes that are not UTF-8: said so, without the bytes.
  if (what.find("ill-formed UTF-8") != std::string::npos)
    return position(text, error.byte) + ": a string holds bytes that are not UTF-8";
  return position(text, error.byte) + ": " + what;
}

}  // namespace

const JsonLimits& sidecarJsonLimits() {
  static const JsonLimits limits{"image's sidecar", uint64_t{16} << 20, 64};
  return limits;
}

Result<JsonValue> parseJsonText(std::string_view text, const JsonLimits& limits) {
  if (text.size() > limits.bytes) return Status::error(tooLarge(text.size(), limits));
  if (text.empty()) return Status::error("the file is empty");
  Nesting nesting(limits.depth);
  try {
    return JsonValue::parse(text.begin(), text.end(),
                            [&nesting](int, Event event, JsonValue& parsed) {
                              nesting.see(event, parsed);
                              return true;
                            });
  } catch (const JsonFault& fault) {
    return Status::error(fault.what);
  } catch (const JsonValue::parse_error& error) {
    return Status::error(parseErrorText(text, error));
  } catch (const JsonValue::exception& error) {
    return Status::error(libraryText(error.what()));
  }
}

Result<JsonValue> readJsonFile(const fs::path& file, DiskInterface& disk, const JsonLimits& limits) {
  const std::string context = "cannot read " + file.string();
  // What the file system says of it, before a byte is read; a disk that stands in
  // for it in a test may know files the file system does not.
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  if (!error && fs::exists(status)) {
    if (!fs::is_regular_file(status)) return Status::error(context + ": not a regular file");
    const uintmax_t size = fs::file_size(file, error);
    if (!error && size > limits.bytes) return Status::error(context + ": " + tooLarge(size, limits));
  }
  Result<std::string> text = disk.readFile(file);
  if (!text) return text.status().context(context);
  Result<JsonValue> json = parseJsonText(text.value(), limits);
  if (!json) return json.status().context(context);
  return json;
}

}  // namespace cohortix::host
