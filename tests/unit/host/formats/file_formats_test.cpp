// Our three file formats load back exactly what was saved, and a damaged file is
// refused with the file, the line and what was expected.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "host/formats/prt_format.h"
#include "host/formats/rtc_format.h"
#include "host/formats/vtc_format.h"

namespace cohortix::host {
namespace {

using ::testing::HasSubstr;

// The message of a parse that must fail; "" when it succeeded.
template <typename Document>
std::string failureOf(const Result<Document>& parsed) {
  return parsed ? std::string() : parsed.status().message();
}

ProtocolDocument awkwardProtocol() {
  ProtocolDocument protocol;
  protocol.fileName = "S1_G1_Study.prt";
  protocol.experimentName = "Say \"hi\" \\ bye";
  protocol.timeResolution = 1;
  protocol.conditions.push_back({"Baseline", 6579300, {{4, 8}, {19, 23}}});
  protocol.conditions.push_back({"Easy x \"Left\"\ttab\\", 16724480, {{9, 18}}});
  // Names may hold any byte but NUL: line breaks, DEL, high bytes.
  protocol.conditions.push_back({"two\nlines\r\x7f\xc3\xa9", 19660800, {}});
  protocol.conditions.push_back({"", -100, {{5, 4}, {-3, 1000}}});
  protocol.conditions.push_back({" padded ", std::numeric_limits<int32_t>::min(), {{1, 1}}});
  return protocol;
}

TEST(ProtocolFile, LoadsBackExactlyWhatWasSaved) {
  const ProtocolDocument protocol = awkwardProtocol();
  EXPECT_EQ(parseProtocol(formatProtocol(protocol), "p.prt").value(), protocol);
  EXPECT_EQ(parseProtocol(formatProtocol(ProtocolDocument{}), "p.prt").value(), ProtocolDocument{});
}

TEST(ProtocolFile, NamesOfEveryByteButNulLoadBack) {
  ProtocolDocument protocol;
  for (int byte = 1; byte < 256; ++byte)
    protocol.conditions.push_back({std::string(2, static_cast<char>(byte)) + "\\x41", byte, {}});
  EXPECT_EQ(parseProtocol(formatProtocol(protocol), "p.prt").value(), protocol);
}

TEST(ProtocolFile, IsReadableText) {
  const std::string text = formatProtocol(awkwardProtocol());
  EXPECT_THAT(text, HasSubstr("Condition: \"Baseline\"\nColor: 100 100 100\nNrOfIntervals: 2\n4 8\n19 23\n"));
  EXPECT_THAT(text, HasSubstr("\"two\\x0Alines\\x0D\\x7F\xc3\xa9\""));
  // Colours the plug-in packed from components beyond 0..255 still read back.
  EXPECT_THAT(text, HasSubstr("Color: 300 0 0\n"));
}

TEST(ProtocolFile, DamageIsReportedWithFileLineAndExpectation) {
  const std::string good = formatProtocol(awkwardProtocol());
  const auto withLine = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  EXPECT_THAT(failureOf(parseProtocol(withLine("NrOfIntervals: 2", "NrOfIntervals: two"), "s.prt")),
              HasSubstr("s.prt:10: expected a whole number"));
  EXPECT_THAT(failureOf(parseProtocol(withLine("19 23", "19"), "s.prt")),
              HasSubstr("s.prt:12: expected an interval: first and last volume, found \"19\""));
  EXPECT_THAT(failureOf(parseProtocol(withLine("\"Baseline\"", "\"Baseline"), "s.prt")),
              HasSubstr("expected a closing double quote in the Condition"));
  EXPECT_THAT(failureOf(parseProtocol(withLine("Color: 100 100 100", "Color: 100 300 100"), "s.prt")),
              HasSubstr("s.prt:9: expected Color: red green blue"));
  EXPECT_THAT(failureOf(parseProtocol(good.substr(0, good.rfind("1 1")), "s.prt")),
              HasSubstr("expected an interval, found the end of the file"));
  EXPECT_THAT(failureOf(parseProtocol(good + "Condition: \"extra\"\n", "s.prt")),
              HasSubstr("expected the end of the file"));
}

TEST(DesignMatrixFile, LoadsBackEveryFloatExactly) {
  DesignMatrix matrix;
  matrix.nrOfVolumes = 5;
  matrix.predictors.push_back({"A1 x \"B1\"", {0.0f, 1.0f, 0.1f, -2.5e-7f, 1.0f / 3.0f}});
  matrix.predictors.push_back({"", {std::numeric_limits<float>::denorm_min(), 3.4e38f,
                                    std::nextafter(1.0f, 2.0f), -0.0f, 123456.789f}});
  const DesignMatrix back = parseDesignMatrix(formatDesignMatrix(matrix), "d.rtc").value();
  ASSERT_EQ(back, matrix);
  EXPECT_TRUE(std::signbit(back.predictors[1].values[3]));
}

TEST(DesignMatrixFile, KeepsItsLengthWithoutPredictors) {
  DesignMatrix matrix;
  matrix.nrOfVolumes = 212;
  EXPECT_EQ(parseDesignMatrix(formatDesignMatrix(matrix), "d.rtc").value(), matrix);
}

TEST(DesignMatrixFile, ShortRowIsReportedWithItsLine) {
  const std::string text =
      "FileVersion: 1\nNrOfPredictors: 2\nNrOfVolumes: 2\nPredictor: \"a\"\nPredictor: \"b\"\n1 2\n3\n";
  EXPECT_THAT(failureOf(parseDesignMatrix(text, "d.rtc")),
              HasSubstr("d.rtc:7: expected 2 values for volume 2, found \"3\""));
  EXPECT_THAT(failureOf(parseDesignMatrix(text.substr(0, text.size() - 2), "d.rtc")),
              HasSubstr("d.rtc:7: expected the values of volume 2, found the end of the file"));
}

VTCHeader boxHeader() {
  VTCHeader header{};
  header.HostField12 = 1;
  header.VTCHeaderCode = 7;
  header.XStart = 60;
  header.XEnd = 70;
  header.YStart = 40;
  header.YEnd = 46;
  header.ZStart = 50;
  header.ZEnd = 59;
  header.Resolution = 3;
  header.HostField48 = 2;
  header.NrOfVolumes = 4;
  return header;
}

TEST(VTCFile, LoadsBackHeaderDimensionsAndData) {
  const VTCHeader header = boxHeader();
  const VTCDims dims = vtcDimsOf(header);
  ASSERT_EQ(dims, (VTCDims{3, 2, 3}));
  std::vector<float> data(3 * 2 * 3 * 4);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<float>(i) * 0.5f - 3.0f;
  const std::string bytes = formatVTCFileHeader(header, dims, 1.5) +
                            std::string(vtcDataBytes(data.data(), data.size()));
  ASSERT_EQ(bytes.size(), kVTCFileHeaderSize + data.size() * 4);
  const VTCFile file = parseVTCFile(bytes, "v.vtc").value();
  EXPECT_EQ(std::memcmp(file.fields.data(), &header, sizeof file.fields), 0);
  EXPECT_EQ(file.nrOfVolumes(), 4);
  EXPECT_EQ(file.dims, dims);
  EXPECT_EQ(file.repetitionTime, 1.5);
  EXPECT_EQ(file.data, data);
}

TEST(VTCFile, TruncatedOrForeignFilesAreRefused) {
  const VTCHeader header = boxHeader();
  const std::vector<float> data(3 * 2 * 3 * 4, 1.0f);
  const std::string bytes = formatVTCFileHeader(header, vtcDimsOf(header), 2.0) +
                            std::string(vtcDataBytes(data.data(), data.size()));
  EXPECT_THAT(failureOf(parseVTCFile(bytes.substr(0, bytes.size() - 1), "v.vtc")),
              HasSubstr("v.vtc: expected 288 bytes of data for dimensions X 3, Y 2, Z 3 and 4 volumes, found 287"));
  EXPECT_THAT(failureOf(parseVTCFile("FileVersion: 1\n" + bytes, "v.vtc")),
              HasSubstr("magic word"));
  EXPECT_THAT(failureOf(parseVTCFile(bytes.substr(0, 20), "v.vtc")),
              HasSubstr("magic word"));
}

}  // namespace
}  // namespace cohortix::host
