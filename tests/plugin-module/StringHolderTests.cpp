// The string holder: its stored encodings in all three versions, what it
// writes with and without an ancestor, its notifications, stored garbage,
// and the module's persisted-property list read from the compiled form.
#include <gtest/gtest.h>

#include <string>

#include "framework/SysUtils.h"
#include "plugin/korPluginProperties.h"
#include "plugin/korStringHolder.h"

using form::TFormObject;
using form::TFormValue;
using form::TValueType;

namespace {

TFormValue StringList(std::initializer_list<std::string> strings) {
  TFormValue list;
  list.Type = TValueType::vaList;
  for (const std::string& s : strings) list.List.push_back(TFormValue::MakeString(s));
  return list;
}

// A holder record with the given version (none when < 0) and StrData.
TFormObject Record(int version, TFormValue data) {
  TFormObject record;
  record.ClassName = TkorStrHolder::kClassName;
  record.Name = "Properties";
  if (version >= 0) record.Properties.push_back({"InternalVer", TFormValue::MakeInt(version)});
  record.Properties.push_back({"StrData", std::move(data)});
  return record;
}

std::string Lines(const TkorStrHolder& holder) {
  return holder.Strings().Text();
}

// Written without an ancestor, then read into a fresh holder.
std::string ThroughForm(const TkorStrHolder& holder, std::string* key = nullptr) {
  TFormObject record;
  record.ClassName = TkorStrHolder::kClassName;
  record.Name = "H";
  holder.WriteToForm(record);
  TkorStrHolder read;
  read.ReadFromForm(form::ReadFormStream(form::WriteFormStream(record)));
  if (key) *key = read.KeyString;
  return Lines(read);
}

}  // namespace

TEST(StringHolderEncoding, EmptyKeyStoresPlainLowerCaseHexOfUtf8) {
  EXPECT_EQ(TkorStrHolder::EncodeLine("Left,Left", ""), "4c6566742c4c656674");
  // a-umlaut in the system code page becomes its two UTF-8 bytes
  EXPECT_EQ(TkorStrHolder::EncodeLine("Z\xE4", ""), "5ac3a4");
  EXPECT_EQ(TkorStrHolder::EncodeLine("", ""), "");
  EXPECT_EQ(TkorStrHolder::DecodeLine("5ac3a4", "", 2), "Z\xE4");
  EXPECT_EQ(TkorStrHolder::DecodeLine("5AC3A4", "", 2), "Z\xE4");  // upper case reads too
}

TEST(StringHolderEncoding, KeyIsXoredOverTheUtf8BytesInTurn) {
  // 'A' ^ 'k' = 0x2a, 'B' ^ 'y' = 0x3b, 'C' ^ 'k' = 0x28
  EXPECT_EQ(TkorStrHolder::EncodeLine("ABC", "ky"), "2a3b28");
  EXPECT_EQ(TkorStrHolder::DecodeLine("2a3b28", "ky", 2), "ABC");
  // A key with a non-ASCII character is used as UTF-8 as well.
  const std::string stored = TkorStrHolder::EncodeLine("x\xE4y", "\xF6");
  EXPECT_EQ(stored.size(), 8u);  // four UTF-8 bytes
  EXPECT_EQ(TkorStrHolder::DecodeLine(stored, "\xF6", 2), "x\xE4y");
}

TEST(StringHolderEncoding, OddLengthAndInvalidPairs) {
  EXPECT_EQ(TkorStrHolder::DecodeLine("4142f", "", 2), "AB");  // odd last digit dropped
  EXPECT_EQ(TkorStrHolder::DecodeLine("41zz42", "", 2), "A B");
  EXPECT_EQ(TkorStrHolder::DecodeLine("41zz42", "", 1), "A B");
  EXPECT_EQ(TkorStrHolder::DecodeLine("4g", "", 1), " ");
  // The blank is XORed with the key like any other byte.
  EXPECT_EQ(TkorStrHolder::DecodeLine("zz", "\x01", 2), "!");
}

TEST(StringHolderEncoding, VersionOneIsHexOfEightBitTextWithTheEightBitKey) {
  // 0xE4 is a-umlaut directly, not UTF-8.
  EXPECT_EQ(TkorStrHolder::DecodeLine("5ae4", "", 1), "Z\xE4");
  EXPECT_EQ(TkorStrHolder::DecodeLine("2a3b28", "ky", 1), "ABC");
  // A key character above 127 is one byte here.
  EXPECT_EQ(TkorStrHolder::DecodeLine("b7", "\xF6", 1), "A");
}

TEST(StringHolderEncoding, VersionZeroIsThePlainStringXoredAndCutAt255) {
  EXPECT_EQ(TkorStrHolder::DecodeLine("Left", "", 0), "Left");
  EXPECT_EQ(TkorStrHolder::DecodeLine("*;(", "ky", 0), "ABC");
  EXPECT_EQ(TkorStrHolder::DecodeLine(std::string(300, 'a'), "", 0), std::string(255, 'a'));
  EXPECT_EQ(TkorStrHolder::DecodeLine("Left", "", -7), "Left");
}

TEST(StringHolderStreaming, LinesAndKeySurviveAWriteAndARead) {
  TkorStrHolder holder;
  holder.KeyString = "s3cr\xE9t";
  holder.Add("Left,Left");
  holder.Add("Caption,Z\xE4hler");
  holder.Add("");
  std::string key;
  EXPECT_EQ(ThroughForm(holder, &key), "Left,Left\r\nCaption,Z\xE4hler\r\n\r\n");
  EXPECT_EQ(key, "s3cr\xE9t");
}

TEST(StringHolderStreaming, ReadsEachVersionFromTheRecord) {
  TkorStrHolder v2;
  v2.ReadFromForm(Record(2, StringList({"", "4c656674", "5ac3a4"})));
  EXPECT_EQ(v2.InternalVer(), 2);
  EXPECT_EQ(Lines(v2), "Left\r\nZ\xE4\r\n");

  TkorStrHolder v1;
  v1.ReadFromForm(Record(1, StringList({"ky", "2a3b28"})));
  EXPECT_EQ(v1.KeyString, "ky");
  EXPECT_EQ(Lines(v1), "ABC\r\n");

  TkorStrHolder v0;  // no InternalVer: version 0
  v0.ReadFromForm(Record(-1, StringList({"", "Left,Left"})));
  EXPECT_EQ(v0.InternalVer(), 0);
  EXPECT_EQ(Lines(v0), "Left,Left\r\n");
}

TEST(StringHolderStreaming, WrittenWithoutAncestor) {
  TkorStrHolder empty;
  TFormObject record;
  empty.WriteToForm(record);
  ASSERT_EQ(record.Properties.size(), 1u);  // only the version
  EXPECT_EQ(record.Properties[0].Name, "InternalVer");
  EXPECT_EQ(record.Properties[0].Value.Int, 2);

  TkorStrHolder keyOnly;
  keyOnly.KeyString = "k";
  TFormObject keyRecord;
  keyOnly.WriteToForm(keyRecord);
  ASSERT_NE(keyRecord.FindProperty("StrData"), nullptr);
  EXPECT_EQ(keyRecord.FindProperty("StrData")->Value.List.size(), 1u);
}

TEST(StringHolderStreaming, InheritedFormWritesOnlyWhatDiffersFromTheAncestor) {
  TkorStrHolder ancestor;
  ancestor.Add("Left,Left");
  ancestor.Add("Top,Top");

  TkorStrHolder sameButCase;
  sameButCase.Add("LEFT,left");
  sameButCase.Add("Top,Top");
  TFormObject record;
  sameButCase.WriteToForm(record, &ancestor);
  EXPECT_EQ(record.FindProperty("StrData"), nullptr);
  EXPECT_EQ(record.FindProperty("InternalVer"), nullptr);

  for (auto change : {+[](TkorStrHolder& h) { h.Add("Width,Width"); },
                      +[](TkorStrHolder& h) { h.KeyString = "k"; },
                      +[](TkorStrHolder& h) { h.SetText("Left,Left\r\nTop,Height\r\n"); }}) {
    TkorStrHolder changed;
    changed.Assign(ancestor);
    change(changed);
    TFormObject changedRecord;
    changed.WriteToForm(changedRecord, &ancestor);
    ASSERT_NE(changedRecord.FindProperty("StrData"), nullptr);
    // The version travels with the lines, so the record reads back on its own.
    ASSERT_NE(changedRecord.FindProperty("InternalVer"), nullptr);
    TkorStrHolder read;
    read.ReadFromForm(changedRecord);
    EXPECT_EQ(Lines(read), Lines(changed));
  }
}

TEST(StringHolderStreaming, InheritedRecordWithoutVersionKeepsTheAncestorsVersion) {
  TkorStrHolder holder;
  holder.ReadFromForm(Record(2, StringList({"", "41"})));
  holder.ReadFromForm(Record(-1, StringList({"", "4243"})));  // the inherited form
  EXPECT_EQ(Lines(holder), "BC\r\n");
}

TEST(StringHolderNotifications, EditsNotifyButReadingDoesNot) {
  TkorStrHolder holder;
  std::string events;
  holder.OnChanging = [&events](TkorStrHolder&) { events += "<"; };
  holder.OnChange = [&events](TkorStrHolder& sender) {
    events += ">" + std::to_string(sender.Strings().Count());
  };
  holder.Add("a");
  holder.SetText("a\r\nb\r\n");
  EXPECT_EQ(events, "<>1<>2");
  events.clear();
  holder.ReadFromForm(Record(2, StringList({"", "78", "79", "7a"})));
  EXPECT_EQ(Lines(holder), "x\r\ny\r\nz\r\n");
  EXPECT_EQ(events, "");
  // Setting the list from itself copies nothing and says nothing.
  holder.SetStrings(holder.Strings());
  EXPECT_EQ(events, "");
  holder.Clear();
  EXPECT_EQ(events, "<>0");
}

TEST(StringHolderNotifications, AssignCopiesLinesBothWays) {
  TStringList source;
  source.Add("one");
  source.Add("two");
  TkorStrHolder holder;
  holder.Assign(source);
  TkorStrHolder copy;
  copy.Assign(holder);
  TStringList out;
  out.Add("old");
  copy.AssignTo(out);
  EXPECT_EQ(out.Text(), "one\r\ntwo\r\n");
}

TEST(StringHolderBadInput, GarbageGivesAClearErrorAndLeavesTheHolderAsItWas) {
  TkorStrHolder holder;
  holder.Add("kept");
  TFormValue notAList = TFormValue::MakeString("4142");
  TFormValue listWithNumber = StringList({"", "41"});
  listWithNumber.List.push_back(TFormValue::MakeInt(3));
  TFormObject badVersion = Record(-1, StringList({"", "41"}));
  badVersion.Properties.insert(badVersion.Properties.begin(),
                               {"InternalVer", TFormValue::MakeString("two")});
  for (const TFormObject& record : {Record(2, notAList), Record(2, listWithNumber), badVersion}) {
    try {
      holder.ReadFromForm(record);
      ADD_FAILURE() << "garbage accepted";
    } catch (const Exception& error) {
      EXPECT_EQ(std::string(error.what()).rfind("Error reading Properties.", 0), 0u)
          << error.what();
    }
    EXPECT_EQ(Lines(holder), "kept\r\n");
  }
  // Hex garbage inside the strings decodes to blanks, never fails.
  holder.ReadFromForm(Record(2, StringList({"", "\xFF\xFEzz", "%%"})));
  EXPECT_EQ(Lines(holder), "  \r\n \r\n");
  // An empty StrData list keeps the key and clears the lines.
  holder.KeyString = "k";
  holder.ReadFromForm(Record(2, StringList({})));
  EXPECT_EQ(holder.KeyString, "k");
  EXPECT_EQ(Lines(holder), "");
}

TEST(PluginFormProperties, ReadsTheHolderOfAFormStream) {
  // A module form with a holder among its children (the real TAPLUGIN is
  // read through the plug-in libraries in tests/plugin).
  TkorStrHolder holder;
  holder.Add("Left,Left");
  holder.Add("Top,Top");
  TFormObject module;
  module.ClassName = "TaPlugin";
  module.Name = "aPlugin";
  TFormObject record;
  record.ClassName = TkorStrHolder::kClassName;
  record.Name = "Properties";
  holder.WriteToForm(record);
  module.Children.push_back(record);
  TStringList lines;
  ReadFormStrings(form::WriteFormStream(module), kPropertiesComponent, lines);
  EXPECT_EQ(lines.Text(), "Left,Left\r\nTop,Top\r\n");
  // Missing holder, holder of another class, unreadable stream.
  lines.Add("unchanged");
  EXPECT_THROW(ReadFormStrings(form::WriteFormStream(module), "Other", lines), Exception);
  module.Children[0].ClassName = "TLabel";
  EXPECT_THROW(ReadFormStrings(form::WriteFormStream(module), "Properties", lines), Exception);
  EXPECT_THROW(ReadFormStrings("TPF0\x01", "Properties", lines), Exception);
  EXPECT_EQ(lines.Count(), 3);
  // No resource of that name in this program.
  try {
    LoadFormStrings("NO_SUCH_FORM", "Properties", lines);
    ADD_FAILURE();
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(), "Form resource NO_SUCH_FORM not found");
  }
}
