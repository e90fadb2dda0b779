// OleVariant: ownership of text payloads and the conversions lists rely on.
#include <gtest/gtest.h>

#include "params/Variants.h"

namespace {

TEST(OleVariantValue, CopiesOwnTheirTextAndMovesLeaveEmpty) {
  OleVariant text(std::string_view("meter"));
  OleVariant copy = text;
  EXPECT_NE(copy.Data().VOleStr, text.Data().VOleStr) << "a copy has its own BSTR";
  EXPECT_EQ(copy, text);
  OleVariant moved = std::move(copy);
  EXPECT_TRUE(copy.IsEmpty());  // NOLINT(bugprone-use-after-move): the moved-from state is defined
  EXPECT_EQ(moved.AsAnsiString(), "meter");
  moved = OleVariant(3);
  EXPECT_EQ(moved.VType(), plat::varInteger);
  plat::TVarData raw = text.Detach();
  EXPECT_TRUE(text.IsEmpty());
  plat::VariantClear(raw);
}

TEST(OleVariantValue, HostStringsBecomeOleText) {
  plat::TVarData ansi{};
  ansi.VType = plat::varString;
  ansi.VString =
      "\xB0"
      "C";  // degree sign in Windows-1252
  EXPECT_EQ(OleVariant::FromHost(ansi, THostText::Ansi).AsWideString(), u"\u00B0C");
  plat::TVarData wide{};
  wide.VType = plat::varUString;
  wide.VUString = u"m\u00B3";
  OleVariant fromWide = OleVariant::FromHost(wide, THostText::Ansi);
  EXPECT_EQ(fromWide.VType(), plat::varOleStr);
  EXPECT_EQ(fromWide.AsWideString(), u"m\u00B3");
  EXPECT_EQ(fromWide.AsAnsiString(), "m\xB3");
}

TEST(OleVariantValue, ConversionFailuresRaiseWithTheirCode) {
  try {
    OleVariant("abc").AsInteger();
    ADD_FAILURE() << "text that is no number must not convert";
  } catch (const EVariantError& e) {
    EXPECT_EQ(e.Code, plat::kDispETypeMismatch);
    EXPECT_STREQ(e.what(), "Could not convert variant of type (OleStr) into type (Integer)");
  }
  try {
    OleVariant(std::int64_t{1} << 40).AsInteger();
    ADD_FAILURE() << "a number beyond 32 bits must not convert";
  } catch (const EVariantError& e) {
    EXPECT_EQ(e.Code, plat::kDispEOverflow);
  }
  EXPECT_THROW(OleVariant::Null().AsInteger(), EVariantError);
  EXPECT_EQ(OleVariant().AsInteger(), 0);
  EXPECT_EQ(OleVariant(" 42 ").AsInt64(), 42);
  EXPECT_TRUE(OleVariant(std::int16_t{-1}).AsBoolean());
  EXPECT_DOUBLE_EQ(OleVariant::Currency(15000).AsDouble(), 1.5);
}

}  // namespace
