// Code page, UTF-8 and lower-casing rules, checked the same way against the
// Windows functions (win64 build under wine64) and the posix tables.
#include <gtest/gtest.h>

#include <string>

#include "platform/Text.h"

namespace plat {
namespace {

// Windows-1252 bytes 0x80 to 0x9F; the five bytes the page leaves undefined
// map to the C1 control of the same number.
const char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

char16_t Expected1252(int byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHigh1252[byte - 0x80] : static_cast<char16_t>(byte);
}

// Lower-case partner of each byte that changes under the 1252 rules.
int ExpectedLower(int byte) {
  if (byte >= 'A' && byte <= 'Z') return byte + 0x20;
  if (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7) return byte + 0x20;
  switch (byte) {
    case 0x8A:
      return 0x9A;  // S caron
    case 0x8C:
      return 0x9C;  // OE
    case 0x8E:
      return 0x9E;  // Z caron
    case 0x9F:
      return 0xFF;  // Y diaeresis
    default:
      return byte;
  }
}

// The tests below hold for code page 1252, the page of the US English and
// Western European systems the plug-in runs on (and wine's page for the C and
// en_US locales). Under another page they say so and stop.
bool SystemPageIs1252() {
  return AnsiToWide("\x80\x9F") == u"\u20AC\u0178";
}

#define REQUIRE_1252() \
  if (!SystemPageIs1252()) GTEST_SKIP() << "system code page is not 1252"

TEST(Text, AnsiToWideEveryByte) {
  REQUIRE_1252();
  for (int b = 1; b < 256; ++b) {
    const std::string ansi(1, static_cast<char>(b));
    EXPECT_EQ(AnsiToWide(ansi), std::u16string(1, Expected1252(b))) << "byte " << b;
  }
}

TEST(Text, WideToAnsiEveryByte) {
  REQUIRE_1252();
  for (int b = 1; b < 256; ++b) {
    const std::u16string wide(1, Expected1252(b));
    EXPECT_EQ(WideToAnsi(wide), std::string(1, static_cast<char>(b))) << "byte " << b;
  }
}

TEST(Text, EmbeddedNulAndEmpty) {
  EXPECT_EQ(AnsiToWide(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
  EXPECT_EQ(WideToAnsi(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(AnsiToWide(""), u"");
  EXPECT_EQ(WideToAnsi(u""), "");
  EXPECT_EQ(Utf8ToWide(""), u"");
  EXPECT_EQ(WideToUtf8(u""), "");
}

struct Unmappable {
  char16_t wide;
  const char* why;
};

// Characters the page lacks and Windows has no near replacement for.
const Unmappable kUnmappable[] = {
    {0x4E2D, "CJK ideograph"},         {0x0416, "Cyrillic Zhe"},
    {0x05D0, "Hebrew Alef"},           {0x20AD, "Kip sign"},
    {0xD800, "lone high surrogate"},   {0xDC00, "lone low surrogate"},
    {0xFFFD, "replacement character"},
};

TEST(Text, WideToAnsiUnmappableIsQuestionMark) {
  REQUIRE_1252();
  for (const Unmappable& u : kUnmappable) {
    const std::u16string wide = std::u16string(u"x") + u.wide + u"y";
    EXPECT_EQ(WideToAnsi(wide), "x?y") << u.why;
  }
}

struct Utf8Row {
  const char* utf8;
  std::u16string wide;
};

const Utf8Row kUtf8[] = {
    {"plain", u"plain"},
    {"\xC3\xA9", u"\u00E9"},
    {"\xE2\x82\xAC", u"\u20AC"},
    {"\xF0\x9F\x98\x80", u"\U0001F600"},
    {"\xEF\xBB\xBF"
     "a",
     u"\uFEFFa"},  // a byte order mark is kept
    {"a\xFF"
     "b",
     u"a\uFFFDb"},
    {"a\x80"
     "b",
     u"a\uFFFDb"},
    {"\xC3", u"\uFFFD"},
    {"a\xC3"
     "b",
     u"a\uFFFDb"},
};

TEST(Text, Utf8ToWide) {
  for (const Utf8Row& row : kUtf8) EXPECT_EQ(Utf8ToWide(row.utf8), row.wide) << row.utf8;
}

TEST(Text, WideToUtf8) {
  for (const Utf8Row& row : kUtf8) {
    if (row.wide.find(u'\uFFFD') != std::u16string::npos) continue;
    EXPECT_EQ(WideToUtf8(row.wide), row.utf8);
  }
  EXPECT_EQ(WideToUtf8(u"a\xD800"
                       "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(WideToUtf8(u"\xDC00"), "\xEF\xBF\xBD");
  EXPECT_EQ(WideToUtf8(std::u16string(u"\0", 1)), std::string("\0", 1));
}

TEST(Text, Utf8RoundTripOfEveryBmpCharacter) {
  std::u16string all;
  for (char32_t c = 1; c < 0x10000; ++c)
    if (c < 0xD800 || c > 0xDFFF) all += static_cast<char16_t>(c);
  EXPECT_EQ(Utf8ToWide(WideToUtf8(all)), all);
}

TEST(Text, AnsiLowerCaseEveryByte) {
  REQUIRE_1252();
  for (int b = 1; b < 256; ++b) {
    const std::string ansi(1, static_cast<char>(b));
    EXPECT_EQ(static_cast<unsigned char>(AnsiLowerCase(ansi)[0]), ExpectedLower(b)) << "byte " << b;
  }
}

TEST(Text, AnsiLowerCaseKeepsLength) {
  EXPECT_EQ(AnsiLowerCase(std::string("AbC\0D", 5)), std::string("abc\0d", 5));
  EXPECT_EQ(AnsiLowerCase(""), "");
}

TEST(Text, WideLength) {
  EXPECT_EQ(WideLength(nullptr), 0u);
  EXPECT_EQ(WideLength(u""), 0u);
  EXPECT_EQ(WideLength(u"abc"), 3u);
}

}  // namespace
}  // namespace plat
