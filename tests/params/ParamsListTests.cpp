// The native operations of parameter lists: look-ups, ranges, rows, copies
// and how values are stored.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "params/korParamLst.h"
#include "params/korParamLstWrap.h"

namespace {

std::vector<std::string> Names(const TkorParamsList& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.Count(); ++i) names.push_back(list.Items(i)->Name);
  return names;
}

// A, marker, B, C: two rows, the last without marker.
void FillTwoRows(TkorParamsList& list) {
  list.Add("A", OleVariant(1));
  list.EndRow();
  list.Add("B", OleVariant(2));
  list.Add("C", OleVariant(3));
}

TEST(ParamsListAdd, BlankNamesAddNothingOtherNamesStayUntrimmed) {
  TkorParamsList list;
  EXPECT_EQ(list.Add("", OleVariant(1)), nullptr);
  EXPECT_EQ(list.Add("  \t\x01 ", OleVariant(1)), nullptr);
  EXPECT_EQ(list.Insert(0, " ", OleVariant(1)), nullptr);
  EXPECT_EQ(list.Count(), 0);

  TkorParamsListItem* item = list.Add(" Energy", OleVariant());
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Name, " Energy");
  EXPECT_EQ(item->Key, " energy");
  EXPECT_EQ(item->Flags, kItemFlagHasValue) << "every added item gets flag 2, even an Empty one";
  EXPECT_EQ(item->DataType, 0);
  EXPECT_EQ(list.Count(), 1);
}

TEST(ParamsListAdd, ItemFlagsFollowTheValueWhenMadeOutsideAList) {
  EXPECT_EQ(TkorParamsListItem("x", OleVariant()).Flags, 0);
  EXPECT_EQ(TkorParamsListItem("x", OleVariant::Null()).Flags, 0);
  EXPECT_EQ(TkorParamsListItem("x", OleVariant(0)).Flags, kItemFlagHasValue);
}

TEST(ParamsListAdd, InsertAndDeleteKeepOrderAndRefuseBadIndexes) {
  TkorParamsList list;
  list.Add("b", OleVariant(2));
  list.Insert(0, "a", OleVariant(1));
  list.Insert(2, "c", OleVariant(3));
  EXPECT_EQ(Names(list), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_THROW(list.Insert(4, "d", OleVariant(4)), EListError);
  EXPECT_THROW(list.Insert(-1, "d", OleVariant(4)), EListError);
  try {
    list.Insert(9, "d", OleVariant(4));
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (9)");
  }
  list.Delete(-1);
  list.Delete(3);
  EXPECT_EQ(list.Count(), 3);
  list.Delete(1);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(list.Items(2), nullptr);
  EXPECT_EQ(list.Items(-1), nullptr);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(ParamsListLookup, CaseInsensitiveByKeyButBlanksCount) {
  TkorParamsList list;
  list.Add("Volume Flow", OleVariant(5));
  list.Add("\xC4rger", OleVariant(6));  // Windows-1252 A umlaut
  EXPECT_EQ(list.IndexOf("VOLUME FLOW"), 0);
  EXPECT_EQ(list.IndexOf("volume flow"), 0);
  EXPECT_EQ(list.IndexOf(" Volume Flow"), -1);
  EXPECT_EQ(list.IndexOf("\xE4RGER"), 1) << "locale lower-casing covers letters beyond ASCII";
  EXPECT_EQ(list.FindItem("missing"), nullptr);
  EXPECT_TRUE(list.GetValue("missing").IsEmpty());
  EXPECT_EQ(list.GetValueDef("missing", OleVariant(42)), OleVariant(42));
  EXPECT_EQ(list.GetValueDef("volume flow", OleVariant(42)), OleVariant(5));
  EXPECT_THROW(list.ValueOf("missing"), EParamNotDefined);
  EXPECT_EQ(list.ValueOf("VOLUME flow"), OleVariant(5));
  try {
    list.ValueOf("missing");
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Parameter is not defined");
  }
  TkorParamsList empty;
  EXPECT_EQ(empty.IndexOf("x"), -1);
  EXPECT_EQ(empty.FindItem("x"), nullptr);
}

TEST(ParamsListLookup, DuplicatesAndRanges) {
  TkorParamsList list;
  list.Add("x", OleVariant(1));
  list.Add("y", OleVariant(2));
  list.Add("X", OleVariant(3));
  EXPECT_EQ(list.GetValue("x"), OleVariant(1));
  EXPECT_EQ(list.IndexOf("x", 1), 2);
  EXPECT_EQ(list.IndexOf("x", -5), 0) << "from below 0 means 0";
  EXPECT_EQ(list.IndexOf("x", 1, 1), -1);
  EXPECT_EQ(list.IndexOf("x", 1, 99), 2) << "to beyond the end means the last item";
  EXPECT_EQ(list.IndexOf("x", 3), -1);
  EXPECT_EQ(list.GetValue("x", 1), OleVariant(3));
}

TEST(ParamsListLookup, CurrentRowStopsAtTheFirstMarker) {
  TkorParamsList list;
  list.Add("A", OleVariant(1));
  list.EndRow();
  list.Add("B", OleVariant(2));
  EXPECT_EQ(list.IndexOf("A", 0, TkorParamsList::kCurrentRow), 0);
  EXPECT_EQ(list.IndexOf("B", 0, TkorParamsList::kCurrentRow), -1);
  EXPECT_EQ(list.IndexOf("B", 2, TkorParamsList::kCurrentRow), 2);
  EXPECT_EQ(list.IndexOf("B"), 2);
  EXPECT_EQ(list.IndexOf("$new_row$", 0, TkorParamsList::kCurrentRow), 1)
      << "the marker itself is compared before the search stops";
}

TEST(ParamsListRows, EndRowAddsOneMarker) {
  TkorParamsList list;
  list.EndRow();
  list.EndRow();
  ASSERT_EQ(list.Count(), 1);
  const TkorParamsListItem* marker = list.Items(0);
  EXPECT_EQ(marker->Name, kRowMarkerName);
  EXPECT_EQ(marker->Key, "$new_row$");
  EXPECT_TRUE(marker->Value.IsNull());
  EXPECT_EQ(marker->DataType, kRowMarkerDataType);
  EXPECT_EQ(marker->Flags, kItemFlagHasValue);
  list.Add("a", OleVariant(1));
  list.EndRow();
  EXPECT_EQ(list.Count(), 3);
}

TEST(ParamsListRows, FindRowEnd) {
  TkorParamsList list;
  list.Add("A", OleVariant(1));
  list.Add("B", OleVariant(2));
  list.EndRow();
  list.Add("C", OleVariant(3));
  TRowEnd end = list.FindRowEnd(0);
  EXPECT_TRUE(end.Found);
  EXPECT_EQ(end.Index, 2);
  EXPECT_TRUE(end.IsMarker);
  end = list.FindRowEnd(-3);
  EXPECT_EQ(end.Index, 2);
  end = list.FindRowEnd(3);
  EXPECT_TRUE(end.Found);
  EXPECT_EQ(end.Index, 3);
  EXPECT_FALSE(end.IsMarker);
  EXPECT_FALSE(list.FindRowEnd(4).Found);
  EXPECT_FALSE(TkorParamsList().FindRowEnd(0).Found);
}

TEST(ParamsListRows, SplittingIntoRowsGivesEveryRowItsMarker) {
  TkorParamsList source;
  FillTwoRows(source);
  TkorParamsList out;
  std::int32_t start = 0;
  for (TRowEnd end = source.FindRowEnd(start); end.Found; end = source.FindRowEnd(start)) {
    EXPECT_TRUE(out.AddListRange(&source, start, end.Index));
    if (!end.IsMarker) out.EndRow();
    start = end.Index + 1;
  }
  EXPECT_EQ(Names(out), (std::vector<std::string>{"A", "$NEW_ROW$", "B", "C", "$NEW_ROW$"}));
}

TEST(ParamsListRows, AppendRowsEndsTheRowOnce) {
  TkorParamsList source;
  FillTwoRows(source);
  TkorParamsList out;
  out.AppendRows(&source);
  EXPECT_EQ(Names(out), (std::vector<std::string>{"A", "$NEW_ROW$", "B", "C", "$NEW_ROW$"}));
  source.EndRow();
  out.AppendRows(&source);
  EXPECT_EQ(out.Count(), 10);
  TkorParamsList empty;
  out.AppendRows(&empty);
  EXPECT_EQ(out.Count(), 10) << "an empty source ends a row that is already ended";
  TkorParamsList fresh;
  fresh.AppendRows(&empty);
  EXPECT_EQ(Names(fresh), (std::vector<std::string>{"$NEW_ROW$"}));
}

TEST(ParamsListCopy, AddListAndRanges) {
  TkorParamsList source;
  FillTwoRows(source);
  TkorParamsList out;
  TkorParamsList empty;
  EXPECT_FALSE(out.AddList(nullptr));
  EXPECT_FALSE(out.AddList(&empty));
  EXPECT_TRUE(out.AddListRange(&source, 3, 1));
  EXPECT_EQ(out.Count(), 0);
  EXPECT_TRUE(out.AddListRange(&source, 2, -1));
  EXPECT_EQ(Names(out), (std::vector<std::string>{"B", "C"}));
  EXPECT_TRUE(out.AddList(&source));
  EXPECT_EQ(out.Count(), 6);
}

TEST(ParamsListCopy, AddItemCopiesKeyTypeAndFlags) {
  TkorParamsList source;
  TkorParamsListItem* item = source.Add("Name", OleVariant(7));
  item->Key = "other key";
  item->DataType = 3;
  item->Flags = 5;
  TkorParamsList out;
  EXPECT_EQ(out.AddItem(nullptr), nullptr);
  TkorParamsListItem* copy = out.AddItem(item);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Name, "Name");
  EXPECT_EQ(copy->Key, "other key");
  EXPECT_EQ(copy->DataType, 3);
  EXPECT_EQ(copy->Flags, 5);
  EXPECT_EQ(copy->Value, OleVariant(7));
  TkorParamsListItem blank(" ", OleVariant(1));
  EXPECT_EQ(out.AddItem(&blank), nullptr);
}

TEST(ParamsListCopy, BrokenSignatureIsAnAssertionFailure) {
  TkorParamsList source;
  source.Add("a", OleVariant(1));
  source.Signature = 0;
  TkorParamsList out;
  EXPECT_THROW(out.AddList(&source), EAssertionFailed);
  EXPECT_THROW(out.AddListRange(&source, 0, 0), EAssertionFailed);
  try {
    source.IndexOf("a");
    ADD_FAILURE() << "IndexOf must check the signature";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Assertion failure");
  }
  source.Signature = kParamsListSignature;
}

TEST(ParamsListValues, NumbersKeepTheirExactTypeAndTextBecomesOleText) {
  TkorParamsList list;
  EXPECT_EQ(list.Add("i64", OleVariant(std::int64_t{-5}))->Value.VType(), plat::varInt64);
  EXPECT_EQ(list.Add("i8", OleVariant(std::int8_t{-5}))->Value.VType(), plat::varShortInt);
  EXPECT_EQ(list.Add("u8", OleVariant(std::uint8_t{5}))->Value.VType(), plat::varByte);
  EXPECT_EQ(list.Add("u16", OleVariant(std::uint16_t{5}))->Value.VType(), plat::varWord);
  EXPECT_EQ(list.Add("u32", OleVariant(std::uint32_t{4000000000u}))->Value.VType(),
            plat::varLongWord);
  EXPECT_EQ(list.Add("bool", OleVariant(true))->Value.VType(), plat::varBoolean);
  EXPECT_EQ(list.Add("text", OleVariant("abc"))->Value.VType(), plat::varOleStr);
  EXPECT_EQ(list.Add("date", OleVariant::Date(46000.5))->Value.VType(), plat::varDate);
  // Beyond 2^53 a round trip through a double would change the number.
  const std::int64_t big = (std::int64_t{1} << 53) + 1;
  EXPECT_EQ(list.Add("big", OleVariant(big))->Value.AsInt64(), big);
  EXPECT_EQ(list.ValueOf("u32").AsInt64(), 4000000000);
  EXPECT_EQ(list.ValueOf("text").AsAnsiString(), "abc");
}

TEST(ParamsListValues, SetValueFindsOrAdds) {
  TkorParamsList list;
  EXPECT_EQ(list.SetValue("a", OleVariant(1)), nullptr);
  EXPECT_EQ(list.Count(), 0);
  TkorParamsListItem* item = list.SetValue("a", OleVariant(1), true);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Value, OleVariant(1));
  list.Add("A", OleVariant(9));
  EXPECT_EQ(list.SetValue("A", OleVariant("x")), item) << "the first item of that name";
  EXPECT_EQ(item->Value, OleVariant("x"));
}

TEST(ParamsListValues, StrictSetConvertsToTheItemsType) {
  TkorParamsList list;
  TkorParamsListItem* item = list.Add("n", OleVariant(0));
  item->DataType = plat::varInteger;
  list.SetValueStrict("n", OleVariant("12"));
  EXPECT_EQ(item->Value.VType(), plat::varInteger);
  EXPECT_EQ(item->Value, OleVariant(12));
  list.SetValueStrict("n", OleVariant::Null());
  EXPECT_TRUE(item->Value.IsNull());
  list.SetValueStrict("n", OleVariant(std::int16_t{7}));
  EXPECT_EQ(item->Value, OleVariant(7));
  EXPECT_THROW(list.SetValueStrict("n", OleVariant("twelve")), EVariantError);
  EXPECT_THROW(list.SetValueStrict("missing", OleVariant(1)), EParamNotDefined);

  TkorParamsListItem* text = list.Add("t", OleVariant());
  text->DataType = plat::varString;  // 8-bit text is kept as OLE text
  list.SetValueStrict("t", OleVariant(3.5));
  EXPECT_EQ(text->Value.VType(), plat::varOleStr);
  EXPECT_EQ(text->Value.AsAnsiString(), "3.5");
}

TEST(ParamsListItem, AssignCopiesEverythingButTheValue) {
  TkorParamsListItem source("Src", OleVariant(1));
  source.DataType = 4;
  TkorParamsListItem target("Dst", OleVariant(2));
  target.Assign(source);
  EXPECT_EQ(target.Name, "Src");
  EXPECT_EQ(target.Key, "src");
  EXPECT_EQ(target.DataType, 4);
  EXPECT_EQ(target.Value, OleVariant(2));
}

TEST(ParamsListLayout, RawPointersAreTakenAsListsOnlyWithTheSignature) {
  TkorParamsList list;
  EXPECT_EQ(AsParamsListObject(&list), &list);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&list);
  std::int32_t signature;
  std::memcpy(&signature, bytes + kParamsListSignatureOffset, sizeof signature);
  EXPECT_EQ(signature, kParamsListSignature);
  std::int32_t notAList[16] = {};
  EXPECT_EQ(AsParamsListObject(notAList), nullptr);
  EXPECT_EQ(AsParamsListObject(nullptr), nullptr);
  EXPECT_EQ(AsParamsListObject(reinterpret_cast<void*>(std::uintptr_t{16})), nullptr);
}

TEST(ParamsListLayout, DestructionClearsTheSignatureBeforeFreeingItems) {
  struct TWatcher : TkorParamsListItem {
    ~TWatcher() override { *FSeen = FOwner->Signature; }
    const TkorParamsList* FOwner = nullptr;
    std::int32_t* FSeen = nullptr;
  };
  std::int32_t seen = -1;
  auto* list = new TkorParamsList();
  auto* watcher = new TWatcher();
  watcher->FOwner = list;
  watcher->FSeen = &seen;
  list->TList::Add(watcher);
  delete list;
  EXPECT_EQ(seen, 0);
}

TEST(ParamsListCustomItems, AddCreatesItemsOfTheListsItemClass) {
  struct TCounted : TkorParamsListItem {
    explicit TCounted(int* alive) : FAlive(alive) { ++*FAlive; }
    ~TCounted() override { --*FAlive; }
    int* FAlive;
  };
  static int alive = 0;
  {
    TkorParamsList list;
    list.ItemClass = []() -> TkorParamsListItem* { return new TCounted(&alive); };
    list.Add("a", OleVariant(1));
    list.Add("b", OleVariant(2));
    EXPECT_EQ(alive, 2);
    EXPECT_NE(dynamic_cast<TCounted*>(list.Items(0)), nullptr);
    list.Delete(0);
    EXPECT_EQ(alive, 1);
  }
  EXPECT_EQ(alive, 0) << "the list frees its items";
}

TEST(ThreadParamsList, LocksHandOutTheOwnedList) {
  TkorThreadParamsList guarded;
  TkorParamsList* list = guarded.LockWrite();
  list->Add("a", OleVariant(1));
  guarded.UnlockWrite();
  TkorParamsList* read = guarded.LockRead();
  EXPECT_EQ(read, list);
  EXPECT_EQ(read->Count(), 1);
  guarded.UnlockRead();
}

}  // namespace

namespace {

TEST(ParamsListFromInterfaces, AddFromIntfCopiesNamesValuesAndTags) {
  auto* wrap = new TkorParamsListWrap();
  TIntfRef<IkorParamsListW> source;
  ASSERT_EQ(wrap->QueryInterface(kIID_IkorParamsListW, reinterpret_cast<void**>(source.Put())),
            plat::kSOk);
  TkorParamsList& origin = *wrap->List();
  origin.Add("Flow \xC4", OleVariant(std::int16_t{3}))->DataType = 2;
  origin.EndRow();
  origin.Add("Text", OleVariant("abc"))->Flags = 6;

  TkorParamsList copy;
  EXPECT_FALSE(copy.AddFromIntf(nullptr));
  EXPECT_TRUE(copy.AddFromIntf(source.Get()));
  EXPECT_EQ(Names(copy), Names(origin));
  EXPECT_EQ(copy.Items(0)->Key, "flow \xE4") << "the UTF-8 exported key comes back as ANSI";
  EXPECT_EQ(copy.IndexOf("FLOW \xC4"), 0) << "names with capitals beyond A to Z stay findable";
  EXPECT_EQ(copy.Items(0)->DataType, 2);
  EXPECT_EQ(copy.Items(0)->Value.VType(), plat::varSmallint);
  EXPECT_TRUE(copy.Items(1)->IsRowMarker());
  EXPECT_EQ(copy.Items(2)->Flags, 6);
  EXPECT_EQ(copy.ValueOf("text").AsAnsiString(), "abc");

  TkorParamsList part;
  EXPECT_TRUE(part.AddFromIntf(source.Get(), 1, 5))
      << "indexes the source has no item for are skipped";
  EXPECT_EQ(part.Count(), 2);
}

TEST(ParamsListFromInterfaces, AddItemIntfTakesKeyTypeAndFlagsWithoutTheBlankTest) {
  TkorParamsList origin;
  TkorParamsListItem* item = origin.Add("Name", OleVariant(1.5));
  item->DataType = 5;
  item->Flags = 3;
  TIntfRef<IkorParamsListItemA> intf =
      TIntfRef<IkorParamsListItemA>::Adopt(TkorParamsListItemWrap::Hand<IkorParamsListItemA>(item));
  intf->SetKey("exported");
  TkorParamsList copy;
  EXPECT_EQ(copy.AddItemIntf(nullptr), nullptr);
  TkorParamsListItem* added = copy.AddItemIntf(intf.Get());
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->Name, "Name");
  EXPECT_EQ(added->Key, "exported");
  EXPECT_EQ(added->DataType, 5);
  EXPECT_EQ(added->Flags, 3);
  EXPECT_EQ(added->Value, OleVariant(1.5));
  intf->SetName(nullptr);
  EXPECT_NE(copy.AddItemIntf(intf.Get()), nullptr) << "a blank name is taken as it is";
  EXPECT_EQ(copy.Items(1)->Name, "");
}

}  // namespace
