// Finding a control file's items by where the reader takes them: the customary
// labels name items by position, whatever words a file uses as labels and however
// it lays its tokens out; and editing items by position changes those values and
// no other byte, or says where the reader would take the file differently.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "host/sweep/control_edit.h"
#include "host/sweep/control_items.h"
#include "tests/support/control_fixtures.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host::sweep {
namespace {

using cohortix::testing::ScratchFolder;
using cohortix::testing::sourceFileText;

ControlItems itemsOf(const ScratchFolder& folder, const std::string& name,
                     const std::string& text) {
  std::ofstream(folder / name, std::ios::binary) << text;
  Result<ControlItems> items = readControlItems(folder / name);
  EXPECT_TRUE(items) << items.status().message();
  return items ? std::move(items.value()) : ControlItems{};
}

// Each item's values as the file spells them.
std::map<std::string, std::string> valueTexts(const ControlItems& items) {
  std::map<std::string, std::string> texts;
  for (const ControlItem& item : items.items)
    for (const TokenSpan& value : item.values)
      texts[item.name] += items.text.substr(value.begin, value.end - value.begin) + "|";
  return texts;
}

// The same tokens with every label replaced by the label of the item `shift`
// items later (so "SubjectsPerGroup:" labels another item), all on one line or
// one token per line.
std::string relaid(const ControlItems& items, std::size_t shift, const std::string& separator) {
  std::string text;
  for (std::size_t i = 0; i < items.items.size(); ++i) {
    const TokenSpan& label = items.items[(i + shift) % items.items.size()].label;
    text += items.text.substr(label.begin, label.end - label.begin) + separator;
    for (const TokenSpan& value : items.items[i].values)
      text += items.text.substr(value.begin, value.end - value.begin) + separator;
  }
  return text;
}

TEST(ControlItems, NameItemsByPositionWhateverTheLabelsAndLayout) {
  ScratchFolder folder;
  const ControlItems base = itemsOf(folder, "base.cxd", sourceFileText("tests/data/two-by-two.cxd"));
  const auto expected = valueTexts(base);
  EXPECT_EQ(expected.at("SubjectsPerGroup"), "5|");
  EXPECT_EQ(expected.at("Name"), "\"SimA\"|");
  EXPECT_EQ(expected.at("Level2_1"), "0|100|0|\"Left\"|");
  EXPECT_EQ(expected.at("BetweenLevel2"), "0|0|0|\"Old\"|");
  EXPECT_EQ(expected.at("BoxX"), "60|180|");
  EXPECT_EQ(expected.at("Region1"), "2.0|1.0|2.5|1.5|1.0|0.5|1.5|1.0|");
  EXPECT_EQ(base.items.front().name, "Version");
  EXPECT_EQ(base.items.size(), 43u);
  for (std::size_t shift : {1u, 7u, 30u})
    for (const char* separator : {" ", "\n"})
      EXPECT_EQ(valueTexts(itemsOf(folder, "relaid.cxd", relaid(base, shift, separator))), expected)
          << "labels shifted by " << shift;
  // Repeated items are numbered; the number may be left out only where one exists.
  EXPECT_EQ(base.find("Center"), base.find("Center1"));
  EXPECT_EQ(base.find("Reserved"), nullptr);
  EXPECT_EQ(base.find("Level"), nullptr);
}

TEST(ControlItems, OptionalItemsFollowTheFlagsThatCallForThem) {
  ScratchFolder folder;
  std::string text = sourceFileText("examples/faces-and-places.cxd");
  text = cohortix::testing::edited(text, "Rest: Y\nRestVolumes: 8\n", "Rest: N\n");
  const ControlItems items = itemsOf(folder, "study.cxd", text);
  EXPECT_EQ(items.find("RestVolumes"), nullptr);
  EXPECT_EQ(valueTexts(items).at("Radius2"), "2.5|");
  EXPECT_EQ(valueTexts(items).at("Region2"), "0.5|2.0|0.3|1.2|0.5|2.0|0.3|1.2|");
  EXPECT_NE(items.find("SubjectSD"), nullptr);
}

class ControlEdit : public ::testing::Test {
 protected:
  ScratchFolder folder;
  ControlItems base = itemsOf(folder, "base.cxd", sourceFileText("examples/faces-and-places.cxd"));

  // Writes the edited text and reads it back as the plan does.
  Status written(const std::vector<ItemEdit>& edits, EditedText* text = nullptr) {
    Result<EditedText> edited = editItems(base, edits);
    if (!edited) return edited.status();
    std::ofstream(folder / "design.cxd", std::ios::binary) << edited->text;
    if (text != nullptr) *text = edited.value();
    return checkEditedFile(folder / "design.cxd", base, edited.value());
  }
  ItemEdit edit(const std::string& name, std::vector<std::vector<std::string>> rows) {
    return {base.find(name), std::move(rows)};
  }
};

TEST_F(ControlEdit, EveryItemRewrittenWithItsOwnValuesGivesTheSameBytes) {
  for (const ControlItem& item : base.items) {
    // The values as rows, one per line they stand on.
    std::vector<std::vector<std::string>> rows;
    int line = 0;
    for (const TokenSpan& value : item.values) {
      std::string word = base.text.substr(value.begin, value.end - value.begin);
      if (value.kind == TokenSpan::Kind::Quoted) word = word.substr(1, word.size() - 2);
      if (rows.empty() || value.line != line) rows.emplace_back();
      rows.back().push_back(word);
      line = value.line;
    }
    EditedText text;
    ASSERT_TRUE(written({{&item, rows}}, &text)) << item.name;
    EXPECT_EQ(text.text, base.text) << item.name;
  }
}

TEST_F(ControlEdit, ChangesTheEditedValuesAndNoOtherByte) {
  EditedText text;
  ASSERT_TRUE(written({edit("SubjectsPerGroup", {{"12"}}), edit("Name", {{"Faces and places"}}),
                       edit("Level1_2", {{"1", "2", "3", "Tools"}}),
                       edit("Region2", {{"9", "8", "7", "6"}, {"5", "4", "3", "2"}})},
                      &text));
  std::string expected = base.text;
  expected = cohortix::testing::edited(expected, "SubjectsPerGroup: 8", "SubjectsPerGroup: 12");
  expected = cohortix::testing::edited(expected, "\"FacesPlaces\"", "\"Faces and places\"");
  expected = cohortix::testing::edited(expected, "40 110 220 \"Houses\"", "1 2 3 \"Tools\"");
  expected =
      cohortix::testing::edited(expected, "0.5 2.0 0.3 1.2\n0.5 2.0 0.3 1.2", "9 8 7 6\n5 4 3 2");
  EXPECT_EQ(text.text, expected);
}

TEST_F(ControlEdit, ValuesThatMoveLaterItemsAreRefusedWhereTheReaderStrays) {
  const std::string design = (folder / "design.cxd").string();
  // More values than the last table needs would silently be left unread.
  Status status = written({edit("Region2", {{"1", "2", "3", "4"}, {"5", "6", "7", "8"}, {"9"}})});
  EXPECT_EQ(status.message().rfind(design + ":48: expected Region2 here with 9 values", 0), 0u)
      << status.message();
  // Fewer values than an item has leaves the reader at a label it cannot read.
  status = written({edit("Center1", {{"40", "-55"}})});
  EXPECT_EQ(status.message(),
            design + ":38: expected an integer for Talairach z of region 1, found \"Center:\"");

  // With one effect row per subject, fewer subjects read fewer rows and leave the
  // rest of the table behind.
  std::string perSubject = sourceFileText("tests/data/two-by-two.cxd");
  perSubject =
      perSubject.substr(0, perSubject.find("EffectRows:")) + "EffectRows: N\nFlag: P\nRegion1:";
  for (int row = 0; row < 10; ++row) perSubject += " 1 2 3 4\n";
  base = itemsOf(folder, "subjects.cxd", perSubject);
  status = written({edit("SubjectsPerGroup", {{"4"}})});
  EXPECT_EQ(status.message().rfind(design + ":42: expected Region1 here with 40 values", 0), 0u)
      << status.message();
  EXPECT_NE(status.message().find("found it read with 32 values"), std::string::npos);
  EXPECT_TRUE(written({edit("SubjectsPerGroup", {{"5"}})}));
}

TEST_F(ControlEdit, WordsThatWouldNotStayOneTokenAreRefused) {
  EXPECT_EQ(written({edit("SubjectsPerGroup", {{"8 9"}})}).message(),
            "expected one word without blanks or double quotes for value 1 of SubjectsPerGroup, "
            "found \"8 9\"");
  EXPECT_EQ(written({edit("Name", {{"say \"hi\""}})}).message(),
            "expected a text without double quotes for Name, found \"say \"hi\"\"");
  EXPECT_FALSE(written({edit("NoisePercent", {})}));
}

}  // namespace
}  // namespace cohortix::host::sweep
