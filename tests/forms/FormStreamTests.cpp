// The binary form stream: hand-assembled bytes read as the format says,
// every value type written and read back unchanged, and streams that are
// cut short, lie about lengths or nest without end rejected with a clear
// error.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "framework/FormStream.h"

using namespace form;

namespace {

TFormValue Typed(TValueType type) {
  TFormValue value;
  value.Type = type;
  return value;
}

TFormValue IntOf(TValueType type, std::int64_t v) {
  TFormValue value = Typed(type);
  value.Int = v;
  return value;
}

TFormValue FloatOf(TValueType type, double v) {
  TFormValue value = Typed(type);
  value.Float = v;
  return value;
}

TFormValue BytesOf(TValueType type, std::string bytes) {
  TFormValue value = Typed(type);
  value.Bytes = std::move(bytes);
  return value;
}

// One property of every value type, nested lists and collections, child
// objects with flags.
TFormObject EveryValueType() {
  TFormObject root;
  root.ClassName = "TfrmSample";
  root.Name = "frmSample";
  auto add = [&root](const std::string& name, TFormValue value) {
    root.Properties.push_back({name, std::move(value)});
  };
  add("Null", Typed(TValueType::vaNull));
  add("Nil", Typed(TValueType::vaNil));
  add("Yes", TFormValue::MakeBool(true));
  add("No", TFormValue::MakeBool(false));
  add("I8", IntOf(TValueType::vaInt8, -128));
  add("I16", IntOf(TValueType::vaInt16, 32767));
  add("I32", IntOf(TValueType::vaInt32, std::numeric_limits<std::int32_t>::min()));
  add("I64", IntOf(TValueType::vaInt64, std::numeric_limits<std::int64_t>::max()));
  add("Ext", TFormValue::MakeExtended(-1234.5678));
  add("ExtRaw",
      BytesOf(TValueType::vaExtended, std::string("\x01\x02\x03\x04\x05\x06\x07\xC8\x00\x40", 10)));
  add("Single", FloatOf(TValueType::vaSingle, 0.25));
  add("Currency", IntOf(TValueType::vaCurrency, -123456789));
  add("Date", FloatOf(TValueType::vaDate, 46000.5));
  add("Double", FloatOf(TValueType::vaDouble, 1e-300));
  add("Str", TFormValue::MakeString("it's \xE4"));
  add("EmptyStr", TFormValue::MakeString(""));
  add("LStr", TFormValue::MakeString(std::string(300, 'x')));
  add("Ident", TFormValue::MakeIdent("clBtnFace"));
  add("Wide", TFormValue::MakeWide(u"Z\u00E4hler \U0001F600"));
  add("Utf8", BytesOf(TValueType::vaUTF8String,
                      "Gr\xC3\xBC\xC3\x9F"
                      "e"));
  add("Bin", BytesOf(TValueType::vaBinary, std::string("\x00\xFF\x10", 3)));
  TFormValue set = Typed(TValueType::vaSet);
  set.Names = {"akLeft", "akTop"};
  add("Anchors", set);
  add("EmptySet", Typed(TValueType::vaSet));
  TFormValue inner = Typed(TValueType::vaList);
  inner.List = {TFormValue::MakeInt(1), TFormValue::MakeString("two")};
  TFormValue list = Typed(TValueType::vaList);
  list.List = {TFormValue::MakeString(""), inner, TFormValue::MakeWide(u"w")};
  add("Lines", list);
  TFormValue collection = Typed(TValueType::vaCollection);
  TFormItem plain;
  plain.Properties = {{"Caption", TFormValue::MakeString("Address")},
                      {"Width", TFormValue::MakeInt(120)}};
  TFormItem indexed;
  indexed.HasIndex = true;
  indexed.IndexValue = IntOf(TValueType::vaInt16, 300);
  collection.Items = {plain, indexed, TFormItem{}};
  add("Columns", collection);

  TFormObject child;
  child.ClassName = "TButton";
  child.Name = "btnOk";
  child.Properties.push_back({"OnClick", TFormValue::MakeIdent("btnOkClick")});
  TFormObject grandChild;
  grandChild.ClassName = "TLabel";
  grandChild.Flags = kFlagInherited | kFlagChildPos;
  grandChild.ChildPos = 70000;
  child.Children.push_back(grandChild);
  root.Children.push_back(child);
  TFormObject inlined;
  inlined.ClassName = "TFrame1";
  inlined.Name = "Frame";
  inlined.Flags = kFlagInline;
  root.Children.push_back(inlined);
  return root;
}

std::string Stream(std::string_view body) {
  return "TPF0" + std::string(body);
}

}  // namespace

TEST(FormStreamRead, HandAssembledRecordReadsAsTheFormatSays) {
  // TForm1 "Form1": Left = 300 (Int16), Caption = 'Hi', Visible = True,
  // Tag = -2 (Int32), Font.Style = [fsBold]; one child TEdit "e" with no
  // properties; then the end of children.
  static const char kRecord[] =
      "\x06TForm1\x05"
      "Form1"
      "\x04Left\x03\x2C\x01"
      "\x07"
      "Caption\x06\x02Hi"
      "\x07Visible\x09"
      "\x03Tag\x04\xFE\xFF\xFF\xFF"
      "\x0A"
      "Font.Style\x0B\x06"
      "fsBold\x00"
      "\x00"
      "\x05TEdit\x01"
      "e\x00\x00"
      "\x00";
  const std::string bytes = Stream(std::string_view(kRecord, sizeof kRecord - 1));
  const TFormObject root = ReadFormStream(bytes);
  EXPECT_EQ(root.ClassName, "TForm1");
  EXPECT_EQ(root.Name, "Form1");
  ASSERT_EQ(root.Properties.size(), 5u);
  EXPECT_EQ(root.Properties[0].Value.Type, TValueType::vaInt16);
  EXPECT_EQ(root.Properties[0].Value.Int, 300);
  EXPECT_EQ(root.Properties[1].Value.Bytes, "Hi");
  EXPECT_EQ(root.Properties[2].Value.Type, TValueType::vaTrue);
  EXPECT_EQ(root.Properties[3].Value.Int, -2);
  EXPECT_EQ(root.Properties[4].Value.Names, std::vector<std::string>{"fsBold"});
  ASSERT_EQ(root.Children.size(), 1u);
  EXPECT_EQ(root.Children[0].ClassName, "TEdit");
  EXPECT_EQ(root.FindComponent("E"), &root.Children[0]);
  EXPECT_EQ(root.FindComponent("missing"), nullptr);
  // The writer gives back the very bytes.
  EXPECT_EQ(WriteFormStream(root), bytes);
}

TEST(FormStreamRead, EveryValueTypeRoundTripsExactly) {
  const TFormObject original = EveryValueType();
  const std::string bytes = WriteFormStream(original);
  const TFormObject read = ReadFormStream(bytes);
  EXPECT_EQ(read, original);
  EXPECT_EQ(WriteFormStream(read), bytes);
  EXPECT_DOUBLE_EQ(read.FindProperty("Ext")->Value.ExtendedValue(), -1234.5678);
  EXPECT_EQ(read.FindProperty("LStr")->Value.Type, TValueType::vaLString);
  EXPECT_EQ(read.Children[0].Children[0].ChildPos, 70000);
}

// A class name of 240 or more characters begins with a byte of the flags
// prefix's range: written and read back, it stays the same name.
TEST(FormStreamRead, LongClassNamesRoundTripWithoutFlags) {
  TFormObject root;
  root.ClassName = "TDataModule";
  TFormObject child;
  child.ClassName = std::string(0xF0, 'C');
  child.Name = "Long";
  root.Children.push_back(child);
  child.ClassName = std::string(0xFF, 'D');
  root.Children.push_back(child);
  const std::string bytes = WriteFormStream(root);
  const TFormObject read = ReadFormStream(bytes);
  EXPECT_EQ(read, root);
  EXPECT_EQ(read.Children[0].Flags, 0);
  EXPECT_EQ(WriteFormStream(read), bytes);
}

TEST(FormStreamRead, TrailingBytesAfterTheRecordAreIgnored) {
  TFormObject root;
  root.ClassName = "TDataModule";
  const std::string bytes = WriteFormStream(root) + std::string("\0\0\0garbage", 10);
  EXPECT_EQ(ReadFormStream(bytes), root);
}

TEST(FormStreamExtended, KnownBitPatterns) {
  auto bytes = [](double v) {
    auto b = DoubleToExtended(v);
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
  };
  EXPECT_EQ(bytes(1.0), std::string("\0\0\0\0\0\0\0\x80\xFF\x3F", 10));
  EXPECT_EQ(bytes(-2.5), std::string("\0\0\0\0\0\0\0\xA0\x00\xC0", 10));
  EXPECT_EQ(bytes(0.0), std::string(10, '\0'));
  EXPECT_EQ(bytes(std::numeric_limits<double>::infinity()),
            std::string("\0\0\0\0\0\0\0\x80\xFF\x7F", 10));
  for (double v : {1.0, -2.5, 0.1, 1e300, -1e-300, 5e-324, 123456789.125})
    EXPECT_EQ(ExtendedToDouble(DoubleToExtended(v).data()), v) << v;
  EXPECT_TRUE(std::isnan(ExtendedToDouble(DoubleToExtended(std::nan("")).data())));
  // An extended with more precision than a double rounds to the nearest.
  const std::uint8_t third[10] = {0xAB, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xFD, 0x3F};
  EXPECT_DOUBLE_EQ(ExtendedToDouble(third), 1.0 / 3.0);
}

TEST(FormStreamBadInput, EveryTruncationIsAClearError) {
  const std::string bytes = WriteFormStream(EveryValueType());
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    try {
      ReadFormStream(std::string_view(bytes).substr(0, length));
      ADD_FAILURE() << "read a stream cut at " << length;
    } catch (const EFormStreamError& error) {
      EXPECT_NE(std::string(error.what()).find("Form stream"), std::string::npos) << error.what();
    }
  }
}

TEST(FormStreamBadInput, LengthsBeyondTheEndAreRejected) {
  auto property = [](const std::string& value) {
    return Stream(std::string("\x01T\x00\x01P", 5) + value + std::string("\x00\x00", 2));
  };
  // 32-bit lengths near 4 GB and 2 GB must not allocate or read past the end.
  EXPECT_THROW(ReadFormStream(property(std::string("\x0C\xFF\xFF\xFF\xFF"
                                                   "abc",
                                                   8))),
               EFormStreamError);
  EXPECT_THROW(ReadFormStream(property(std::string("\x0A\x00\x00\x00\x80", 5))), EFormStreamError);
  EXPECT_THROW(ReadFormStream(property(std::string("\x12\xFF\xFF\xFF\x7F"
                                                   "ab",
                                                   7))),
               EFormStreamError);
  EXPECT_THROW(ReadFormStream(property(std::string("\x14\x05\x00\x00\x00"
                                                   "ab",
                                                   7))),
               EFormStreamError);
  // A short string longer than what is left.
  EXPECT_THROW(ReadFormStream(property(std::string("\x06\xFF"
                                                   "abc",
                                                   5))),
               EFormStreamError);
  // A component name longer than the stream.
  EXPECT_THROW(ReadFormStream(Stream("\x01T\xF0"
                                     "ab")),
               EFormStreamError);
}

TEST(FormStreamBadInput, UnknownTypesSignatureAndIndexesAreRejected) {
  auto property = [](const std::string& value) {
    return Stream(std::string("\x01T\x00\x01P", 5) + value + std::string("\x00\x00", 2));
  };
  try {
    ReadFormStream(property("\x16"));
    ADD_FAILURE();
  } catch (const EFormStreamError& error) {
    EXPECT_NE(std::string(error.what()).find("unknown value type 22 at offset 9"),
              std::string::npos)
        << error.what();
  }
  EXPECT_THROW(ReadFormStream("TPF1\x01T\x00\x00\x00"), EFormStreamError);
  EXPECT_THROW(ReadFormStream(""), EFormStreamError);
  // A collection item must start with an index or a list marker.
  EXPECT_THROW(ReadFormStream(property(std::string("\x0E\x06\x01x\x00", 5))), EFormStreamError);
  // A child position must be an 8-, 16- or 32-bit integer.
  EXPECT_THROW(ReadFormStream(Stream(std::string("\xF2\x06\x01x\x01T\x00\x00\x00", 9))),
               EFormStreamError);
}

TEST(FormStreamBadInput, EndlessNestingStopsAtTheDepthLimit) {
  // Lists inside lists, and objects inside objects, far deeper than allowed.
  std::string lists = std::string("\x01T\x00\x01P", 5) + std::string(100000, '\x01');
  EXPECT_THROW(ReadFormStream(Stream(lists)), EFormStreamError);
  std::string objects;
  for (int i = 0; i < 100000; ++i) objects += std::string("\x01T\x00\x00", 4);
  EXPECT_THROW(ReadFormStream(Stream(objects)), EFormStreamError);
  // Just inside the limit is fine.
  TFormValue nested = TFormValue::MakeInt(1);
  for (int i = 0; i < kMaxFormDepth - 2; ++i) {
    TFormValue outer;
    outer.Type = TValueType::vaList;
    outer.List.push_back(nested);
    nested = outer;
  }
  TFormObject root;
  root.ClassName = "T";
  root.Properties.push_back({"Deep", nested});
  EXPECT_EQ(ReadFormStream(WriteFormStream(root)), root);
}

TEST(FormStreamWrite, WhatTheFormatCannotHoldIsRefused) {
  auto writeWith = [](TFormValue value) {
    TFormObject root;
    root.ClassName = "T";
    root.Properties.push_back({"P", std::move(value)});
    return WriteFormStream(root);
  };
  EXPECT_THROW(writeWith(BytesOf(TValueType::vaString, std::string(256, 'a'))), EFormStreamError);
  EXPECT_THROW(writeWith(IntOf(TValueType::vaInt8, 128)), EFormStreamError);
  EXPECT_THROW(writeWith(IntOf(TValueType::vaInt16, -32769)), EFormStreamError);
  EXPECT_THROW(writeWith(TFormValue::MakeIdent("")), EFormStreamError);
  EXPECT_THROW(writeWith(BytesOf(TValueType::vaExtended, "short")), EFormStreamError);
  TFormValue list = Typed(TValueType::vaList);
  list.List.push_back(Typed(TValueType::vaNull));  // would end the list early
  EXPECT_THROW(writeWith(list), EFormStreamError);
  TFormObject unnamed;
  EXPECT_THROW(WriteFormStream(unnamed), EFormStreamError);  // no class name
  TFormObject longName;
  longName.ClassName = std::string(256, 'T');
  EXPECT_THROW(WriteFormStream(longName), EFormStreamError);
}

TEST(FormStreamValues, MakeIntPicksTheSmallestType) {
  EXPECT_EQ(TFormValue::MakeInt(127).Type, TValueType::vaInt8);
  EXPECT_EQ(TFormValue::MakeInt(-128).Type, TValueType::vaInt8);
  EXPECT_EQ(TFormValue::MakeInt(128).Type, TValueType::vaInt16);
  EXPECT_EQ(TFormValue::MakeInt(-32769).Type, TValueType::vaInt32);
  EXPECT_EQ(TFormValue::MakeInt(2147483648LL).Type, TValueType::vaInt64);
  EXPECT_EQ(TFormValue::MakeString(std::string(255, 'a')).Type, TValueType::vaString);
  EXPECT_EQ(TFormValue::MakeString(std::string(256, 'a')).Type, TValueType::vaLString);
}
