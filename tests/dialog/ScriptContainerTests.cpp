// The script container (FORM_DATA): its content layout, the gzip member
// zlib makes of it, and the container the build packed: it unpacks to the
// dialog's current syntax tree, the main form's name and the same
// persisted-property lines the plug-in data module keeps in TAPLUGIN.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/StringList.h"
#include "plugin/korPluginProperties.h"
#include "tools/packc/ScriptContainer.h"

namespace {

std::string BuiltResource(const std::string& name) {
  std::ifstream in(std::string(KOR_DIALOG_RESOURCES) + "/" + name + ".bin", std::ios::binary);
  EXPECT_TRUE(in) << name;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string BuiltTree() {
  std::ifstream in(std::string(KOR_DIALOG_RESOURCES) + "/FORM_DATA.xml", std::ios::binary);
  EXPECT_TRUE(in);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> Sections(const std::string& content) {
  std::vector<std::string> sections;
  std::size_t start = 0;
  for (;;) {
    const auto at = content.find(pack::kSectionSeparator, start);
    sections.push_back(content.substr(start, at == std::string::npos ? at : at - start));
    if (at == std::string::npos) return sections;
    start = at + pack::kSectionSeparator.size();
  }
}

// Bytes that compress poorly and well, of the given size.
std::string SampleData(std::size_t size) {
  std::string data(size, '\0');
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    data[i] = static_cast<char>(i % 3 == 0 ? (state >> 16) : 'a' + i % 7);
  }
  return data;
}

}  // namespace

TEST(ScriptContainer, ContentIsTreeNameAndLinesBetweenSeparators) {
  EXPECT_EQ(pack::ContainerContent("<t/>", "TFRMX", {"A,B", ";---short---", "c.D,E f"}),
            "<t/>\r\n\r\n<=======>\r\n\r\nTFRMX\r\n\r\n<=======>\r\n\r\n"
            "A,B\r\n;---short---\r\nc.D,E f\r\n \r\n");
  EXPECT_EQ(pack::ContainerContent("<t/>", "N", {}),
            "<t/>\r\n\r\n<=======>\r\n\r\nN\r\n\r\n<=======>\r\n\r\n \r\n");
}

TEST(ScriptContainer, ContentThatWouldBreakTheLayoutIsRefused) {
  EXPECT_THROW(pack::ContainerContent("<a>\n</a>", "N", {}), pack::EPackError);
  EXPECT_THROW(pack::ContainerContent("<t/>", "", {}), pack::EPackError);
  EXPECT_THROW(pack::ContainerContent("<t/>", "N\r", {}), pack::EPackError);
  EXPECT_THROW(pack::ContainerContent("<t/>", "N", {"a\rb"}), pack::EPackError);
}

TEST(ScriptContainer, PropertiesFileLines) {
  EXPECT_EQ(pack::SplitLines("a\r\nb\nc"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(pack::SplitLines("a\n\nb\n\n\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(pack::SplitLines("").empty());
  EXPECT_TRUE(pack::SplitLines("\r\n\n").empty());
}

TEST(ScriptContainer, GzipMakesOneMemberThatUnpacksToTheInput) {
  for (std::size_t size :
       {std::size_t{0}, std::size_t{1}, std::size_t{1000}, std::size_t{200000}}) {
    const std::string data = SampleData(size);
    const std::string member = pack::Gzip(data);
    ASSERT_GE(member.size(), 18u) << size;
    EXPECT_EQ(member.substr(0, 3), std::string("\x1F\x8B\x08", 3)) << "gzip, deflate";
    EXPECT_EQ(pack::Gunzip(member), data) << size;
    EXPECT_EQ(pack::Gzip(data), member) << "the same input packs to the same bytes";
  }
}

TEST(ScriptContainer, GunzipRefusesAnythingButOneWholeMember) {
  const std::string member = pack::Gzip(SampleData(5000));
  EXPECT_THROW(pack::Gunzip(member + "x"), pack::EPackError);
  EXPECT_THROW(pack::Gunzip(member.substr(0, member.size() - 1)), pack::EPackError);
  std::string corrupt = member;
  corrupt[corrupt.size() - 6] ^= 0x40;  // inside the CRC-32
  EXPECT_THROW(pack::Gunzip(corrupt), pack::EPackError);
  EXPECT_THROW(pack::Gunzip("plain text"), pack::EPackError);
  EXPECT_THROW(pack::Gunzip(""), pack::EPackError);
}

TEST(ScriptContainer, TheBuiltContainerHoldsTheTreeTheFormNameAndTheProperties) {
  const std::vector<std::string> sections = Sections(pack::Gunzip(BuiltResource("FORM_DATA")));
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections[0], BuiltTree());
  EXPECT_EQ(sections[0].rfind("<?xml version=\"1.0\"?><program>", 0), 0u);
  EXPECT_EQ(sections[1], "TFRMOPTION");
  EXPECT_EQ(sections[1], BuiltResource("FORM_NAME"));
  TStringList lines;
  ReadFormStrings(BuiltResource("TAPLUGIN"), kPropertiesComponent, lines);
  ASSERT_EQ(lines.Count(), 9);
  EXPECT_EQ(sections[2], lines.Text() + " \r\n");
}
