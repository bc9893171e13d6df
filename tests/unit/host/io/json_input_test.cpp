#include "host/io/json_input.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "tests/support/scratch_folder.h"

namespace cohortix::host {
namespace {

const JsonLimits kLimits{"test file", 1 << 20, 64};

std::string nested(int levels) { return std::string(levels, '[') + std::string(levels, ']'); }

TEST(JsonInput, ReadsJsonWithTheSameKeyInSeparateObjectsAndKeepsTheirOrder) {
  const Result<JsonValue> read =
      parseJsonText("{\"b\": [{\"a\": 1}, {\"a\": \"caf\xc3\xa9\"}], \"a\": {\"a\": null}}", kLimits);
  ASSERT_TRUE(read) << read.status().message();
  EXPECT_EQ(read->begin().key(), "b");
  EXPECT_EQ(read.value()["b"][1]["a"], "caf\xc3\xa9");
  EXPECT_TRUE(parseJsonText(nested(64), kLimits));
}

// Every refusal is one line of printable ASCII that says what is wrong and, where
// the parser stopped, at which line and column.
TEST(JsonInput, RefusesWhatIsNotOneCleanJsonValue) {
  const std::string longString = "[\"" + std::string(5000, 'x') + "\xff\"]";
  const struct {
    std::string text;
    std::string message;  // the whole message, or its start when it ends in '*'
  } cases[] = {
      {"", "the file is empty"},
      {"{\"a\": 1, \"b\": 2, \"a\": 3}", "the top-level object holds the key \"a\" twice"},
      {"{\"R\": [{\"x\": 1}, {\"x\": 1, \"y\": {\"x\": 2}, \"x\": 3}]}",
       "the object at /R/1 holds the key \"x\" twice"},
      {"{\"a/b~\": {\"k\": 1, \"k\": 1}}", "the object at /a~1b~0 holds the key \"k\" twice"},
      {nested(65), "objects and lists nested deeper than 64 levels, at /0/0/*"},
      {std::string(1000000, '['), "objects and lists nested deeper than 64 levels*"},
      {"{\n  \"a\": \"caf\xc3(\"\n}", "line 2, column 13 (byte 14): a string holds bytes that are not UTF-8"},
      {longString, "line 1, column 5003 (byte 5002): a string holds bytes that are not UTF-8"},
      {"{\xff: 1}", "line 1, column 2 (byte 1): syntax error while parsing object key - invalid literal; "
                    "expected string literal"},
      {"{\n\"a\": tru\n}", "line 2, column 9 (byte 10): syntax error while parsing value - invalid literal"},
      {"{} x", "line 1, column 4 (byte 3): syntax error while parsing value - invalid literal; expected end "
               "of input"},
      {"{\"a\": 1", "line 1, column 8 (byte 7): syntax error while parsing object - unexpected end of input; "
                    "expected '}'*"},
      {"[1e999]", "number overflow parsing '1e999'"},
      {std::string("[\"a\0b\"]", 7), "line 1, column 4 (byte 3): syntax error while parsing value - invalid string: "
                     "control character U+0000 (NUL) must be escaped to \\u0000"},
      {"[\"" + std::string(1 << 20, 'x') + "\"]",
       "the file holds 1048580 bytes, more than any test file (at most 1048576)"},
  };
  for (const auto& c : cases) {
    const Result<JsonValue> read = parseJsonText(c.text, kLimits);
    ASSERT_FALSE(read) << c.message;
    const std::string& message = read.status().message();
    if (c.message.back() == '*')
      EXPECT_EQ(message.substr(0, c.message.size() - 1), c.message.substr(0, c.message.size() - 1));
    else
      EXPECT_EQ(message, c.message);
    EXPECT_LT(message.size(), 300u) << message;
    EXPECT_TRUE(std::all_of(message.begin(), message.end(), [](char ch) { return ch >= 0x20 && ch < 0x7f; }))
        << message;
  }
}

TEST(JsonInput, ReadsOnlyARegularFileOfAtMostItsKindsSize) {
  testing::ScratchFolder folder;
  RealDiskInterface disk;
  const std::filesystem::path fifo = folder / "fifo.json";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(readJsonFile(fifo, disk, kLimits).status().message(), "cannot read " + fifo.string() + ": not a regular file");
  const std::filesystem::path large = folder.write("large.json", "[" + std::string(2000, ' ') + "]");
  EXPECT_EQ(readJsonFile(large, disk, {"test file", 1000, 64}).status().message(),
            "cannot read " + large.string() + ": the file holds 2002 bytes, more than any test file (at most 1000)");
  EXPECT_TRUE(readJsonFile(large, disk, kLimits));
  const std::filesystem::path missing = folder / "missing.json";
  EXPECT_EQ(readJsonFile(missing, disk, kLimits).status().message(),
            "cannot read " + missing.string() + ": No such file or directory");
}

}  // namespace
}  // namespace cohortix::host
