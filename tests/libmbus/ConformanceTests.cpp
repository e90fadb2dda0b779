// Every shared reference telegram decodes, through mbus-decode's code path,
// to the content of its frame-data XML and its normalised XML.
#include <gtest/gtest.h>

#include "TestFiles.h"
#include "libmbus/src/Decode.h"
#include "libmbus/src/Guard.h"

using namespace mbus_test;

namespace {

std::string Decode(const std::filesystem::path& hex, bool normalised) {
  return mbus::DecodeTelegrams(mbus::HexTextBytes(ReadFile(hex)), normalised);
}

void ExpectSameContent(const std::filesystem::path& hex, const std::filesystem::path& xml,
                       bool normalised) {
  SCOPED_TRACE(hex.filename().string() + (normalised ? " (normalised)" : ""));
  std::string got;
  ASSERT_NO_THROW(got = Decode(hex, normalised));
  const auto expected = ReadBlocks(ReadFile(xml));
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(CompareBlocks(ReadBlocks(got), expected), "");
}

}  // namespace

TEST(MbusConformance, ReferenceTelegramsGiveTheirFrameDataXml) {
  const auto files = FilesWith(TelegramDir("reference"), ".hex");
  ASSERT_GE(files.size(), 40u);
  for (const auto& hex : files) {
    auto xml = hex;
    ExpectSameContent(hex, xml.replace_extension(".xml"), false);
  }
}

TEST(MbusConformance, ReferenceTelegramsGiveTheirNormalisedXml) {
  const auto files = FilesWith(TelegramDir("reference"), ".hex");
  ASSERT_GE(files.size(), 40u);
  for (const auto& hex : files) {
    auto xml = hex;
    ExpectSameContent(hex, xml.replace_extension(".norm.xml"), true);
  }
}

TEST(MbusConformance, ErrorTelegramsGiveTheirXmlOrFailWithAReason) {
  size_t with_xml = 0;
  for (const auto& hex : FilesWith(TelegramDir("error"), ".hex")) {
    auto xml = hex;
    xml.replace_extension(".xml");
    SCOPED_TRACE(hex.filename().string());
    if (std::filesystem::exists(xml)) {
      ++with_xml;
      EXPECT_EQ(Decode(hex, false), ReadFile(xml));
    } else {
      try {
        Decode(hex, false);
        ADD_FAILURE() << "malformed telegram decoded";
      } catch (const mbus::Error& e) {
        EXPECT_STRNE(e.what(), "");
      }
    }
  }
  EXPECT_GE(with_xml, 8u);
}

// Frames the library does not decode are refused with a reason. The one
// exception is a frame whose whole payload is manufacturer-specific data: it
// decodes to that single record.
TEST(MbusConformance, UnsupportedTelegramsAreRefusedCleanly) {
  size_t refused = 0;
  for (const auto& hex : FilesWith(TelegramDir("unsupported"), ".hex")) {
    SCOPED_TRACE(hex.filename().string());
    for (bool normalised : {false, true}) {
      try {
        const auto blocks = ReadBlocks(Decode(hex, normalised));
        ASSERT_EQ(blocks.size(), 2u);
        EXPECT_EQ(blocks[1].fields.front().second, "More records follow");
      } catch (const mbus::Error& e) {
        ++refused;
        EXPECT_STRNE(e.what(), "");
      }
    }
  }
  EXPECT_GE(refused, 12u);
}
