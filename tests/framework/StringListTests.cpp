#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/StringList.h"
#include "framework/SysUtils.h"
#include "tests/framework/TestObjects.h"

namespace {

std::vector<std::string> Lines(const TStringList& list) {
  std::vector<std::string> result;
  for (std::int32_t i = 0; i < list.Count(); ++i) result.push_back(list.Strings(i));
  return result;
}

using V = std::vector<std::string>;

TEST(StringListTest, UnsortedKeepsOrderAndDuplicates) {
  TStringList list;
  EXPECT_EQ(list.Add("b"), 0);
  EXPECT_EQ(list.Add("a"), 1);
  EXPECT_EQ(list.Add("b"), 2);
  list.Insert(1, "c");
  EXPECT_EQ(Lines(list), (V{"b", "c", "a", "b"}));
  list.Exchange(0, 2);
  list.Delete(3);
  list.SetString(1, "d");
  EXPECT_EQ(Lines(list), (V{"a", "d", "b"}));
}

TEST(StringListTest, IndexErrors) {
  TStringList list;
  list.Add("x");
  try {
    list.Strings(1);
    FAIL() << "no error";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (1)");
  }
  EXPECT_THROW(list.Objects(-1), EListError);
  EXPECT_THROW(list.Delete(1), EListError);
  EXPECT_THROW(list.Insert(2, "y"), EListError);
  EXPECT_THROW(list.SetString(5, "y"), EListError);
  EXPECT_THROW(list.Exchange(0, 1), EListError);
  EXPECT_EQ(Lines(list), (V{"x"}));
}

TEST(StringListTest, SortedInsertsInOrderAndFinds) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"m", "c", "x", "a", "q"}) list.Add(s);
  EXPECT_EQ(Lines(list), (V{"a", "c", "m", "q", "x"}));
  std::int32_t index = -1;
  EXPECT_TRUE(list.Find("m", index));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(list.Find("n", index));
  EXPECT_EQ(index, 3);  // where it would go
  EXPECT_EQ(list.IndexOf("x"), 4);
  EXPECT_EQ(list.IndexOf("b"), -1);
  EXPECT_THROW(list.Insert(0, "z"), EListError);
  EXPECT_THROW(list.SetString(0, "z"), EListError);
  EXPECT_THROW(list.Exchange(0, 1), EListError);
}

TEST(StringListTest, SortingAnUnsortedList) {
  TStringList list;
  for (const char* s : {"b", "C", "a"}) list.Add(s);
  list.SetSorted(true);
  EXPECT_EQ(Lines(list), (V{"a", "b", "C"}));
}

TEST(StringListTest, DuplicatesIgnoredByDefaultInSortedList) {
  TStringList list;
  list.SetSorted(true);
  EXPECT_EQ(list.Duplicates(), TDuplicates::dupIgnore);
  list.Add("a");
  list.Add("b");
  EXPECT_EQ(list.Add("B"), 1);  // same string under the case rule: the existing index
  EXPECT_EQ(Lines(list), (V{"a", "b"}));
}

TEST(StringListTest, DuplicatesAcceptedKeepArrivalOrder) {
  TStringList list;
  list.SetSorted(true);
  list.SetDuplicates(TDuplicates::dupAccept);
  TObject* first = &list;
  list.AddObject("k", first);
  list.Add("a");
  EXPECT_EQ(list.Add("k"), 2);
  list.Add("z");
  EXPECT_EQ(Lines(list), (V{"a", "k", "k", "z"}));
  EXPECT_EQ(list.Objects(1), first);
  EXPECT_EQ(list.IndexOf("k"), 1);
}

TEST(StringListTest, DuplicatesErrorRaisesAndLeavesListAlone) {
  TStringList list;
  list.SetSorted(true);
  list.SetDuplicates(TDuplicates::dupError);
  list.Add("one");
  try {
    list.Add("ONE");
    FAIL() << "no error";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "String list does not allow duplicates");
  }
  EXPECT_EQ(list.Count(), 1);
}

TEST(StringListTest, DuplicatesOnlyMatterWhenSorted) {
  TStringList list;
  list.SetDuplicates(TDuplicates::dupError);
  list.Add("a");
  list.Add("a");
  EXPECT_EQ(list.Count(), 2);
}

TEST(StringListTest, CaseInsensitiveByDefault) {
  TStringList list;
  list.Add("Alpha");
  EXPECT_EQ(list.IndexOf("ALPHA"), 0);
  EXPECT_EQ(list.CompareStrings("abc", "ABD"), -1);
  // Windows-1252 letters beyond ASCII fold too: A and a with diaeresis.
  EXPECT_EQ(list.CompareStrings("\xC4", "\xE4"), 0);
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("ALPHA"), -1);
  EXPECT_EQ(list.IndexOf("Alpha"), 0);
}

TEST(StringListTest, CaseRuleDecidesSortOrder) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"b", "B", "a"}) list.Add(s);
  EXPECT_EQ(Lines(list), (V{"a", "b"}));  // "B" was a duplicate of "b"
  list.SetCaseSensitive(true);            // resorts: upper case bytes first
  list.Add("B");
  EXPECT_EQ(Lines(list), (V{"B", "a", "b"}));
  // Bytes above 0x7F compare unsigned: after ASCII.
  list.Add("\xE9");
  EXPECT_EQ(list.Strings(3), "\xE9");
}

TEST(StringListTest, NameValueAccess) {
  TStringList list;
  list.Add("Port=COM1");
  list.Add("no separator");
  list.Add("Baud=2400");
  list.Add("Empty=");
  EXPECT_EQ(list.Names(0), "Port");
  EXPECT_EQ(list.Names(1), "");
  EXPECT_EQ(list.ValueFromIndex(2), "2400");
  EXPECT_EQ(list.IndexOfName("baud"), 2);
  EXPECT_EQ(list.IndexOfName("no separator"), -1);
  EXPECT_EQ(list.Values("PORT"), "COM1");
  EXPECT_EQ(list.Values("Empty"), "");
  EXPECT_EQ(list.Values("missing"), "");

  list.SetValue("port", "COM2");  // replaced in place, under the name given now
  EXPECT_EQ(list.Strings(0), "port=COM2");
  list.SetValue("Parity", "even");
  EXPECT_EQ(list.Strings(4), "Parity=even");
  list.SetValue("Baud", "");  // an empty value deletes the line
  EXPECT_EQ(list.IndexOfName("Baud"), -1);
  EXPECT_EQ(list.Count(), 4);
}

TEST(StringListTest, NameValueOnSortedListStaysSorted) {
  TStringList list;
  list.SetSorted(true);
  list.Add("b=1");
  list.Add("c=1");
  list.SetValue("a", "2");
  list.SetValue("b", "zz");
  EXPECT_EQ(Lines(list), (V{"a=2", "b=zz", "c=1"}));
  list.SetValue("c", "0");
  EXPECT_EQ(list.Values("c"), "0");
}

TEST(StringListTest, TextEndsEveryLineWithCrLfAndRoundTrips) {
  TStringList list;
  EXPECT_EQ(list.Text(), "");
  list.Add("a");
  list.Add("");
  list.Add("c");
  EXPECT_EQ(list.Text(), "a\r\n\r\nc\r\n");
  list.Delete(2);
  TStringList copy;
  copy.SetText(list.Text());
  EXPECT_EQ(Lines(copy), (V{"a", ""})) << "an empty last line survives the round trip";
}

TEST(StringListTest, TextSplitsOnCrLfOrEither) {
  TStringList list;
  list.SetText("one\r\ntwo\nthree\rfour");
  EXPECT_EQ(Lines(list), (V{"one", "two", "three", "four"}));
  list.SetText("a\n\nb\r\n");  // an empty line inside; none for the final break
  EXPECT_EQ(Lines(list), (V{"a", "", "b"}));
  list.SetText("\n\r");  // LF then CR: two breaks, two empty lines
  EXPECT_EQ(Lines(list), (V{"", ""}));
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
  list.SetText("x\r\ny");
  EXPECT_EQ(list.Text(), "x\r\ny\r\n");
}

TEST(StringListTest, SetTextOnSortedListSortsAndApplyDuplicates) {
  TStringList list;
  list.SetSorted(true);
  list.SetText("b\r\na\r\nB");
  EXPECT_EQ(Lines(list), (V{"a", "b"}));
}

TEST(StringListTest, ObjectsTravelWithTheirStrings) {
  TStringList list;
  int freed = 0;
  TTracked a(&freed), b(&freed);
  list.AddObject("b", &b);
  list.AddObject("a", &a);
  list.SetSorted(true);
  EXPECT_EQ(list.Objects(0), &a);
  EXPECT_EQ(list.IndexOfObject(&b), 1);
  EXPECT_EQ(list.IndexOfObject(nullptr), -1);
  list.SetObject(0, nullptr);
  list.Clear();
  EXPECT_EQ(freed, 0);  // not owned
}

TEST(StringListTest, OwnedObjectsFreedOnDeleteClearAndDestruction) {
  int freed = 0;
  {
    TStringList list(true);
    list.AddObject("a", new TTracked(&freed));
    list.AddObject("b", new TTracked(&freed));
    list.AddObject("c", new TTracked(&freed));
    list.Add("no object");
    list.Delete(0);
    EXPECT_EQ(freed, 1);
    list.Clear();
    EXPECT_EQ(freed, 3);
    list.AddObject("d", new TTracked(&freed));
  }
  EXPECT_EQ(freed, 4);
}

TEST(StringListTest, Capacity) {
  TStringList list;
  list.SetCapacity(100);
  EXPECT_GE(list.Capacity(), 100);
  list.Add("a");
  list.Add("b");
  list.SetCapacity(2);
  EXPECT_EQ(Lines(list), (V{"a", "b"}));
  EXPECT_THROW(list.SetCapacity(1), EListError);
}

}  // namespace
