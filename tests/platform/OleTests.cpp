// BSTR allocation and VARIANT init, clear and copy.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/Ole.h"

namespace plat {
namespace {

TEST(Ole, BStrLengthAndLayout) {
  const char16_t text[] = {u'a', u'\0', u'b'};
  BStr s = SysAllocStringLen(text, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(s[0], u'a');
  EXPECT_EQ(s[1], u'\0');
  EXPECT_EQ(s[2], u'b');
  EXPECT_EQ(s[3], u'\0');  // terminated after the stated length
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const char*>(s) - 4, 4);
  EXPECT_EQ(bytes, 6u);  // the prefix counts bytes
  SysFreeString(s);
}

TEST(Ole, BStrFromView) {
  BStr s = SysAllocString(u"hello");
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(std::u16string(s), u"hello");
  SysFreeString(s);
  BStr e = SysAllocString(u"");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(SysStringLen(e), 0u);
  EXPECT_EQ(e[0], u'\0');
  SysFreeString(e);
}

TEST(Ole, BStrNil) {
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  BStr s = SysAllocStringLen(nullptr, 4);  // room for 4 characters, content unset
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 4u);
  EXPECT_EQ(s[4], u'\0');
  SysFreeString(s);
}

TEST(Ole, VariantInitMakesEmpty) {
  TVarData v;
  std::memset(&v, 0xAB, sizeof v);
  VariantInit(v);
  EXPECT_EQ(v.VType, varEmpty);
}

TEST(Ole, VariantClearFreesText) {
  TVarData v;
  VariantInit(v);
  v.VType = varOleStr;
  v.VOleStr = SysAllocString(u"owned");
  EXPECT_EQ(VariantClear(v), kSOk);
  EXPECT_EQ(v.VType, varEmpty);
  EXPECT_EQ(VariantClear(v), kSOk);
}

TEST(Ole, VariantClearOfNumber) {
  TVarData v;
  VariantInit(v);
  v.VType = varDouble;
  v.VDouble = 2.5;
  EXPECT_EQ(VariantClear(v), kSOk);
  EXPECT_EQ(v.VType, varEmpty);
}

TEST(Ole, VariantCopyOfTextIsDeep) {
  TVarData source;
  VariantInit(source);
  source.VType = varOleStr;
  const char16_t text[] = {u'x', u'\0', u'y'};
  source.VOleStr = SysAllocStringLen(text, 3);
  TVarData dest;
  VariantInit(dest);
  ASSERT_EQ(VariantCopy(dest, source), kSOk);
  EXPECT_EQ(dest.VType, varOleStr);
  EXPECT_NE(dest.VOleStr, source.VOleStr);
  ASSERT_EQ(SysStringLen(dest.VOleStr), 3u);
  EXPECT_EQ(std::u16string(dest.VOleStr, 3), std::u16string(text, 3));
  VariantClear(source);
  EXPECT_EQ(dest.VOleStr[2], u'y');  // still valid after the source is freed
  VariantClear(dest);
}

TEST(Ole, VariantCopyClearsDestination) {
  TVarData dest;
  VariantInit(dest);
  dest.VType = varOleStr;
  dest.VOleStr = SysAllocString(u"old");  // freed by the copy, or the leak checker says so
  TVarData source;
  VariantInit(source);
  source.VType = varInteger;
  source.VInteger = 12;
  ASSERT_EQ(VariantCopy(dest, source), kSOk);
  EXPECT_EQ(dest.VType, varInteger);
  EXPECT_EQ(dest.VInteger, 12);
}

TEST(Ole, VariantCopyOntoItself) {
  TVarData v;
  VariantInit(v);
  v.VType = varOleStr;
  v.VOleStr = SysAllocString(u"same");
  ASSERT_EQ(VariantCopy(v, v), kSOk);
  EXPECT_EQ(v.VType, varOleStr);
  EXPECT_EQ(std::u16string(v.VOleStr), u"same");
  VariantClear(v);
}

TEST(Ole, VariantCopyOfNull) {
  TVarData source;
  VariantInit(source);
  source.VType = varNull;
  TVarData dest;
  VariantInit(dest);
  ASSERT_EQ(VariantCopy(dest, source), kSOk);
  EXPECT_EQ(dest.VType, varNull);
}

}  // namespace
}  // namespace plat
