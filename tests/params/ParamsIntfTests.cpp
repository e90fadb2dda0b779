// The list and item interfaces called the way the host calls them: through
// raw interface pointers and slot indexes, with C-style functions that take
// the interface pointer first.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "params/korParamLstWrap.h"
#include "platform/Ole.h"
#include "platform/Text.h"

namespace {

using plat::Bool8;
using plat::HResult;
using plat::TVarData;
using Intf = void*;

// Calls slot `slot` of the interface table of `self`.
template <class R, class... A>
R Call(Intf self, int slot, A... args) {
  using Fn = R(KOR_STDCALL*)(Intf, A...);
  void** table = *static_cast<void***>(self);
  return reinterpret_cast<Fn>(table[slot])(self, args...);
}

// Slot numbers of the contract.
enum : int {
  kQueryInterface = 0,
  kAddRef,
  kRelease,
  kGetCount = 3,
  kGetSignature,
  kGetTag,
  kSetTag,
  kClear,
  kDelete,
  kFindRowEnd,
  kEndRow,
  kAppendRows,
  kGetItem,
  kAddList,
  kAddListRange,
  kFindItem,
  kIndexOf,
  kGetValue,
  kGetValueDef,
  kAdd,
  kInsert,
  kSetValue,
  kAddItem,
};
enum : int {
  kSetKey = 3,
  kSetDataType,
  kSetFlags,
  kGetKey,
  kGetDataType,
  kGetFlags,
  kItemSetValue,
  kItemGetValue,
  kSetName,
  kGetName,
  kIsRowMarker,
  kSetNameW,
  kGetNameW,
  kSetValueW,
  kGetValueW,
};

constexpr HResult kUnexpected = plat::kEUnexpected;
Intf const kGarbage = reinterpret_cast<Intf>(static_cast<std::uintptr_t>(0xCDCDCDCD));

TVarData Raw(std::uint16_t vt) {
  TVarData v;
  std::memset(static_cast<void*>(&v), 0, sizeof v);
  v.VType = vt;
  return v;
}

TVarData Int(std::int32_t value) {
  TVarData v = Raw(plat::varInteger);
  v.VInteger = value;
  return v;
}

TVarData Poisoned() {
  TVarData v;
  std::memset(static_cast<void*>(&v), 0xCD, sizeof v);
  return v;
}

bool IsZeroed(const TVarData& v) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&v);
  for (std::size_t i = 0; i < sizeof v; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

std::u16string TextOf(const TVarData& v) {
  return v.VType == plat::varOleStr ? std::u16string(v.VOleStr ? v.VOleStr : u"") : u"<not text>";
}

// Host-side view of one wrapper: both interface pointers, got through
// QueryInterface as the host gets them.
struct HostList {
  HostList() : Wrap(new TkorParamsListWrap()) {
    Intf unknown = static_cast<IkorParamsListW*>(Wrap);
    EXPECT_EQ(Call<HResult>(unknown, kQueryInterface, &kIID_IkorParamsListW, &W), plat::kSOk);
    EXPECT_EQ(Call<HResult>(unknown, kQueryInterface, &kIID_IkorParamsListA, &A), plat::kSOk);
  }
  ~HostList() {
    Call<std::uint32_t>(A, kRelease);
    Call<std::uint32_t>(W, kRelease);
  }
  TkorParamsList& List() const { return *Wrap->List(); }

  TkorParamsListWrap* Wrap;
  Intf W = nullptr;
  Intf A = nullptr;
};

Intf AddA(Intf list, const char* name, const TVarData& value) {
  Intf item = kGarbage;
  EXPECT_EQ(Call<HResult>(list, kAdd, name, &value, &item), plat::kSOk);
  return item;
}

void ReleaseItem(Intf item) {
  if (item) Call<std::uint32_t>(item, kRelease);
}

TEST(ParamsIntf, QueryInterfaceAnswersBothIdentifiersAndRefusesOthers) {
  HostList host;
  EXPECT_NE(host.A, host.W) << "each interface has its own table";
  Intf again = nullptr;
  EXPECT_EQ(Call<HResult>(host.A, kQueryInterface, &kIID_IkorParamsListW, &again), plat::kSOk);
  EXPECT_EQ(again, host.W);
  Call<std::uint32_t>(again, kRelease);
  Intf none = kGarbage;
  EXPECT_EQ(Call<HResult>(host.W, kQueryInterface, &kIID_IkorParamsListItemA, &none),
            plat::kENoInterface);
  EXPECT_EQ(none, nullptr);

  Intf item = AddA(host.A, "x", Int(1));
  Intf itemW = nullptr;
  EXPECT_EQ(Call<HResult>(item, kQueryInterface, &kIID_IkorParamsListItemW, &itemW), plat::kSOk);
  EXPECT_EQ(itemW, item) << "both item interfaces share one table";
  none = kGarbage;
  EXPECT_EQ(Call<HResult>(item, kQueryInterface, &kIID_IkorParamsListA, &none),
            plat::kENoInterface);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(Call<HResult>(item, kQueryInterface, &kIID_IkorParamsListA, nullptr), plat::kEPointer);
  ReleaseItem(itemW);
  ReleaseItem(item);
}

TEST(ParamsIntf, CountSignatureTagClearDelete) {
  HostList host;
  ReleaseItem(AddA(host.A, "a", Int(1)));
  ReleaseItem(AddA(host.A, "b", Int(2)));
  EXPECT_EQ(Call<std::int32_t>(host.W, kGetCount), 2);
  EXPECT_EQ(Call<std::int32_t>(host.A, kGetSignature), kParamsListSignature);
  Call<void>(host.A, kSetTag, std::int32_t{77});
  EXPECT_EQ(Call<std::int32_t>(host.W, kGetTag), 77);
  Call<void>(host.W, kDelete, std::int32_t{5});
  Call<void>(host.W, kDelete, std::int32_t{-1});
  EXPECT_EQ(Call<std::int32_t>(host.A, kGetCount), 2);
  Call<void>(host.A, kDelete, std::int32_t{0});
  EXPECT_EQ(host.List().Items(0)->Name, "b");
  Call<void>(host.W, kClear);
  EXPECT_EQ(Call<std::int32_t>(host.A, kGetCount), 0);
}

TEST(ParamsIntf, GetItemOutsideTheListSucceedsWithNil) {
  HostList host;
  ReleaseItem(AddA(host.A, "a", Int(1)));
  for (std::int32_t index : {-1, 1, 1000}) {
    Intf item = kGarbage;
    EXPECT_EQ(Call<HResult>(host.A, kGetItem, index, &item), plat::kSOk);
    EXPECT_EQ(item, nullptr);
    item = kGarbage;
    EXPECT_EQ(Call<HResult>(host.W, kGetItem, index, &item), plat::kSOk);
    EXPECT_EQ(item, nullptr);
  }
  Intf item = nullptr;
  EXPECT_EQ(Call<HResult>(host.W, kGetItem, std::int32_t{0}, &item), plat::kSOk);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(std::u16string(Call<const char16_t*>(item, kGetNameW)), u"a");
  ReleaseItem(item);
}

TEST(ParamsIntf, LookUpsThroughBothForms) {
  HostList host;
  ReleaseItem(AddA(host.A, "Energy", Int(10)));
  Call<void>(host.A, kEndRow);
  ReleaseItem(AddA(host.A, "Volume", Int(20)));

  std::int32_t index = -7;
  EXPECT_EQ(Call<HResult>(host.W, kIndexOf, u"VOLUME", std::int32_t{0}, std::int32_t{-1}, &index),
            plat::kSOk);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(Call<HResult>(host.A, kIndexOf, "volume", std::int32_t{0},
                          std::int32_t{TkorParamsList::kCurrentRow}, &index),
            plat::kSOk);
  EXPECT_EQ(index, -1);

  TVarData value = Poisoned();
  EXPECT_EQ(Call<HResult>(host.A, kGetValue, "energy", std::int32_t{0}, std::int32_t{-1}, &value),
            plat::kSOk);
  EXPECT_EQ(value.VType, plat::varInteger);
  EXPECT_EQ(value.VInteger, 10);
  value = Poisoned();
  EXPECT_EQ(Call<HResult>(host.W, kGetValue, u"missing", std::int32_t{0}, std::int32_t{-1}, &value),
            plat::kSOk);
  EXPECT_TRUE(IsZeroed(value)) << "a missing name gives Empty";

  TVarData def = Int(5);
  EXPECT_EQ(Call<HResult>(host.W, kGetValueDef, u"missing", &def, std::int32_t{0}, std::int32_t{-1},
                          &value),
            plat::kSOk);
  EXPECT_EQ(value.VInteger, 5);

  Intf item = kGarbage;
  EXPECT_EQ(Call<HResult>(host.A, kFindItem, "ENERGY", std::int32_t{0}, std::int32_t{-1}, &item),
            plat::kSOk);
  ASSERT_NE(item, nullptr);
  EXPECT_STREQ(Call<const char*>(item, kGetName), "Energy");
  ReleaseItem(item);
  item = kGarbage;
  EXPECT_EQ(Call<HResult>(host.W, kFindItem, u"none", std::int32_t{0}, std::int32_t{-1}, &item),
            plat::kSOk);
  EXPECT_EQ(item, nullptr);
}

TEST(ParamsIntf, RowsThroughTheInterface) {
  HostList host;
  ReleaseItem(AddA(host.A, "A", Int(1)));
  ReleaseItem(AddA(host.A, "B", Int(2)));
  Call<void>(host.W, kEndRow);
  ReleaseItem(AddA(host.A, "C", Int(3)));
  std::int32_t index = -1;
  Bool8 marker = 9;
  EXPECT_EQ(Call<Bool8>(host.W, kFindRowEnd, std::int32_t{0}, &index, &marker), 1);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(marker, 1);
  EXPECT_EQ(Call<Bool8>(host.A, kFindRowEnd, std::int32_t{3}, &index, &marker), 1);
  EXPECT_EQ(index, 3);
  EXPECT_EQ(marker, 0);
  index = 42;
  marker = 9;
  EXPECT_EQ(Call<Bool8>(host.A, kFindRowEnd, std::int32_t{4}, &index, &marker), 0);
  EXPECT_EQ(index, 42) << "out-parameters are written only on success";
  EXPECT_EQ(marker, 9);
  EXPECT_EQ(Call<Bool8>(host.A, kFindRowEnd, std::int32_t{0}, nullptr, nullptr), 1);

  Intf item = nullptr;
  Call<HResult>(host.A, kGetItem, std::int32_t{2}, &item);
  EXPECT_EQ(Call<Bool8>(item, kIsRowMarker), 1);
  EXPECT_EQ(Call<std::int32_t>(item, kGetDataType), kRowMarkerDataType);
  ReleaseItem(item);
}

TEST(ParamsIntf, HostStringVariantsAreCopiedAsTheFormSays) {
  HostList host;
  std::string ansi = "caf\xE9";  // Windows-1252 e acute
  std::u16string wide = u"caf\u00E9";
  TVarData ansiValue = Raw(plat::varString);
  ansiValue.VString = ansi.c_str();
  TVarData wideValue = Raw(plat::varUString);
  wideValue.VUString = wide.c_str();

  ReleaseItem(AddA(host.A, "a100", ansiValue));
  ReleaseItem(AddA(host.A, "a102", wideValue));
  Intf item = nullptr;
  EXPECT_EQ(Call<HResult>(host.W, kAdd, u"w102", &wideValue, &item), plat::kSOk);
  ReleaseItem(item);
  ansi[0] = 'X';  // the host's payload changes after the call: the stored copy must not
  wide[0] = u'X';
  EXPECT_EQ(host.List().ValueOf("a100").AsWideString(), u"caf\u00E9");
  EXPECT_EQ(host.List().ValueOf("a102").AsWideString(), u"caf\u00E9");
  EXPECT_EQ(host.List().ValueOf("w102").AsWideString(), u"caf\u00E9");
  EXPECT_EQ(host.List().ValueOf("a100").VType(), plat::varOleStr);

  // The W forms read a 0x100 payload as UTF-16 too.
  std::u16string wideAgain = u"wide";
  TVarData asString = Raw(plat::varString);
  asString.VPointer = wideAgain.data();
  item = nullptr;
  EXPECT_EQ(Call<HResult>(host.W, kSetValue, u"w100", &asString, Bool8{1}, &item), plat::kSOk);
  ASSERT_NE(item, nullptr);
  TVarData got = Poisoned();
  EXPECT_EQ(Call<HResult>(item, kGetValueW, &got), plat::kSOk);
  EXPECT_EQ(TextOf(got), u"wide");
  plat::VariantClear(got);
  // Item SetValue (A) reads 0x100 as ANSI, SetValueW as UTF-16.
  EXPECT_EQ(Call<HResult>(item, kItemSetValue, &ansiValue), plat::kSOk);
  EXPECT_EQ(host.List().ValueOf("w100").AsWideString(), u"Xaf\u00E9");
  EXPECT_EQ(Call<HResult>(item, kSetValueW, &asString), plat::kSOk);
  EXPECT_EQ(host.List().ValueOf("w100").AsWideString(), u"wide");
  // A nil payload is the empty text.
  TVarData nilText = Raw(plat::varString);
  EXPECT_EQ(Call<HResult>(item, kItemSetValue, &nilText), plat::kSOk);
  EXPECT_EQ(host.List().ValueOf("w100").VType(), plat::varOleStr);
  EXPECT_EQ(host.List().ValueOf("w100").AsWideString(), u"");
  ReleaseItem(item);
}

TEST(ParamsIntf, ItemNamesKeysTypesAndFlags) {
  HostList host;
  Intf item = AddA(host.A, "\xC4nergie Total", Int(1));  // Windows-1252 A umlaut
  EXPECT_EQ(std::u16string(Call<const char16_t*>(item, kGetNameW)), u"\u00C4nergie Total");
  // The exported key is UTF-8 with only A to Z lower-cased.
  EXPECT_STREQ(Call<const char*>(item, kGetKey), "\xC3\x84nergie total");
  Call<void>(item, kSetKey, "custom");
  EXPECT_STREQ(Call<const char*>(item, kGetKey), "custom");
  EXPECT_EQ(host.List().Items(0)->Key, "\xE4nergie total") << "SetKey leaves the item's Key";
  Call<void>(item, kSetKey, static_cast<const char*>(nullptr));
  EXPECT_EQ(Call<const char*>(item, kGetKey), nullptr);

  Call<void>(item, kSetName, "Renamed");
  EXPECT_STREQ(Call<const char*>(item, kGetName), "Renamed");
  EXPECT_STREQ(Call<const char*>(item, kGetKey), "renamed");
  std::int32_t index = 0;
  Call<HResult>(host.A, kIndexOf, "Renamed", std::int32_t{0}, std::int32_t{-1}, &index);
  EXPECT_EQ(index, -1) << "SetName does not change the look-up key";
  Call<HResult>(host.A, kIndexOf, "\xC4NERGIE TOTAL", std::int32_t{0}, std::int32_t{-1}, &index);
  EXPECT_EQ(index, 0);
  Call<void>(item, kSetNameW, u"Wide \u00D6");
  EXPECT_EQ(host.List().Items(0)->Name, "Wide \xD6");
  Call<void>(item, kSetNameW, static_cast<const char16_t*>(nullptr));
  EXPECT_EQ(Call<const char*>(item, kGetName), nullptr);
  EXPECT_EQ(Call<const char16_t*>(item, kGetNameW), nullptr);

  Call<void>(item, kSetDataType, std::int32_t{5});
  Call<void>(item, kSetFlags, std::uint8_t{0x81});
  EXPECT_EQ(Call<std::int32_t>(item, kGetDataType), 5);
  EXPECT_EQ(Call<std::uint8_t>(item, kGetFlags), 0x81);
  EXPECT_EQ(Call<Bool8>(item, kIsRowMarker), 0);
  ReleaseItem(item);
}

TEST(ParamsIntf, AddItemCopiesNameAndValueWithFreshKeyTypeAndFlags) {
  HostList source;
  HostList target;
  Intf item = AddA(source.A, "Power", Int(3));
  Call<void>(item, kSetDataType, std::int32_t{9});
  Call<void>(item, kSetKey, "odd key");
  Intf copy = kGarbage;
  EXPECT_EQ(Call<HResult>(target.A, kAddItem, item, &copy), plat::kSOk);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Call<std::int32_t>(copy, kGetDataType), 0);
  EXPECT_STREQ(Call<const char*>(copy, kGetKey), "power");
  EXPECT_EQ(target.List().ValueOf("power"), OleVariant(3));
  ReleaseItem(copy);
  copy = kGarbage;
  EXPECT_EQ(Call<HResult>(target.W, kAddItem, item, &copy), plat::kSOk);
  EXPECT_EQ(target.List().Count(), 2);
  ReleaseItem(copy);
  copy = kGarbage;
  EXPECT_EQ(Call<HResult>(target.W, kAddItem, nullptr, &copy), plat::kSOk);
  EXPECT_EQ(copy, nullptr);
  ReleaseItem(item);
}

TEST(ParamsIntf, ListArgumentsFollowTheBoundaryRule) {
  HostList host;
  TkorParamsList raw;
  raw.Add("r1", OleVariant(1));
  raw.Add("r2", OleVariant(2));
  Bool8 done = 7;
  EXPECT_EQ(Call<HResult>(host.A, kAddList, &raw, &done), plat::kSOk);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(Call<HResult>(host.A, kAddListRange, &raw, std::int32_t{1}, std::int32_t{0}, &done),
            plat::kSOk);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(host.List().Count(), 2);
  EXPECT_EQ(Call<HResult>(host.A, kAddList, static_cast<TkorParamsList*>(nullptr), &done),
            plat::kSOk);
  EXPECT_EQ(done, 0);

  TkorParamsListWrap* other = new TkorParamsListWrap(&raw, true);
  Intf otherW = nullptr;
  other->QueryInterface(kIID_IkorParamsListW, &otherW);
  EXPECT_EQ(Call<HResult>(host.W, kAddListRange, other, std::int32_t{1}, std::int32_t{-1}, &done),
            plat::kSOk);
  EXPECT_EQ(host.List().Count(), 3);
  Call<void>(host.A, kAppendRows, other);
  EXPECT_EQ(host.List().Count(), 6) << "two items and the row's marker";
  Call<void>(host.A, kAppendRows, static_cast<TkorParamsListWrap*>(nullptr));
  EXPECT_EQ(host.List().Count(), 6) << "an empty source ends an ended row no further";
  Call<std::uint32_t>(otherW, kRelease);
  EXPECT_EQ(raw.Count(), 2) << "a borrowed list outlives its wrapper";

  // Anything without the signature is refused, readable or not.
  std::int32_t notAList[32] = {};
  done = 7;
  EXPECT_EQ(Call<HResult>(host.A, kAddList, notAList, &done), kUnexpected);
  EXPECT_EQ(done, 7);
  EXPECT_EQ(Call<HResult>(host.W, kAddList, notAList, &done), kUnexpected);
  void* unreadable = reinterpret_cast<void*>(std::uintptr_t{0x10});
  EXPECT_EQ(
      Call<HResult>(host.A, kAddListRange, unreadable, std::int32_t{0}, std::int32_t{-1}, &done),
      kUnexpected);
  EXPECT_EQ(Call<HResult>(host.W, kAddList, unreadable, &done), kUnexpected);
  Call<void>(host.W, kAppendRows, notAList);
  Call<void>(host.W, kAppendRows, unreadable);
  EXPECT_EQ(host.List().Count(), 6);
}

TEST(ParamsIntf, EveryFailureClearsOutParametersAndReturnsUnexpected) {
  HostList host;
  ReleaseItem(AddA(host.A, "a", Int(1)));
  TVarData value = Int(1);
  TVarData text = Raw(plat::varOleStr);
  text.VOleStr = plat::SysAllocString(u"abc");

  Intf item = kGarbage;
  EXPECT_EQ(Call<HResult>(host.A, kInsert, std::int32_t{5}, "b", &value, &item), kUnexpected);
  EXPECT_EQ(item, nullptr);
  item = kGarbage;
  EXPECT_EQ(Call<HResult>(host.W, kInsert, std::int32_t{-1}, u"b", &value, &item), kUnexpected);
  EXPECT_EQ(item, nullptr);
  item = kGarbage;
  EXPECT_EQ(Call<HResult>(host.A, kAdd, "b", static_cast<TVarData*>(nullptr), &item), kUnexpected);
  EXPECT_EQ(item, nullptr);
  item = kGarbage;
  EXPECT_EQ(
      Call<HResult>(host.W, kSetValue, u"b", static_cast<TVarData*>(nullptr), Bool8{1}, &item),
      kUnexpected);
  EXPECT_EQ(item, nullptr);
  EXPECT_EQ(Call<HResult>(host.A, kAdd, "b", &value, static_cast<Intf*>(nullptr)), kUnexpected);
  EXPECT_EQ(host.List().Count(), 1) << "a call refused for a nil out-parameter changes nothing";
  TVarData out = Poisoned();
  EXPECT_EQ(Call<HResult>(host.W, kGetValueDef, u"x", static_cast<TVarData*>(nullptr),
                          std::int32_t{0}, std::int32_t{-1}, &out),
            kUnexpected);
  EXPECT_TRUE(IsZeroed(out));
  EXPECT_EQ(Call<HResult>(host.A, kGetValue, "a", std::int32_t{0}, std::int32_t{-1},
                          static_cast<TVarData*>(nullptr)),
            kUnexpected);
  std::int32_t index = 99;
  EXPECT_EQ(Call<HResult>(host.A, kIndexOf, "a", std::int32_t{0}, std::int32_t{-1},
                          static_cast<std::int32_t*>(nullptr)),
            kUnexpected);
  EXPECT_EQ(Call<HResult>(host.W, kGetItem, std::int32_t{0}, static_cast<Intf*>(nullptr)),
            kUnexpected);

  // A list whose signature broke: every look-up fails cleanly.
  host.List().Signature = 0;
  index = 99;
  EXPECT_EQ(Call<HResult>(host.A, kIndexOf, "a", std::int32_t{0}, std::int32_t{-1}, &index),
            kUnexpected);
  EXPECT_EQ(index, 99);
  item = kGarbage;
  EXPECT_EQ(Call<HResult>(host.W, kFindItem, u"a", std::int32_t{0}, std::int32_t{-1}, &item),
            kUnexpected);
  EXPECT_EQ(item, nullptr);
  out = Poisoned();
  EXPECT_EQ(Call<HResult>(host.W, kGetValue, u"a", std::int32_t{0}, std::int32_t{-1}, &out),
            kUnexpected);
  EXPECT_TRUE(IsZeroed(out));
  host.List().Signature = kParamsListSignature;

  // Item value calls.
  item = AddA(host.A, "c", text);
  EXPECT_EQ(Call<HResult>(item, kItemSetValue, static_cast<TVarData*>(nullptr)), kUnexpected);
  EXPECT_EQ(Call<HResult>(item, kItemGetValue, static_cast<TVarData*>(nullptr)), kUnexpected);
  out = Poisoned();
  EXPECT_EQ(Call<HResult>(item, kGetValueW, &out), plat::kSOk);
  EXPECT_EQ(TextOf(out), u"abc");
  plat::VariantClear(out);
  ReleaseItem(item);
  plat::VariantClear(text);
}

// An item whose value cannot be read, as a failing host item would be.
class TFailingItem final : public IkorParamsListItemW {
 public:
  HResult KOR_STDCALL QueryInterface(const plat::TGUID&, void** obj) override {
    *obj = nullptr;
    return plat::kENoInterface;
  }
  std::uint32_t KOR_STDCALL AddRef() override { return 1; }
  std::uint32_t KOR_STDCALL Release() override { return 1; }
  void KOR_STDCALL SetKey(const char*) override {}
  void KOR_STDCALL SetDataType(std::int32_t) override {}
  void KOR_STDCALL SetFlags(std::uint8_t) override {}
  const char* KOR_STDCALL GetKey() override { return "k"; }
  std::int32_t KOR_STDCALL GetDataType() override { return 0; }
  std::uint8_t KOR_STDCALL GetFlags() override { return 0; }
  HResult KOR_STDCALL SetValue(const TVarData*) override { return plat::kEFail; }
  HResult KOR_STDCALL GetValue(TVarData*) override { return plat::kEFail; }
  void KOR_STDCALL SetName(const char*) override {}
  const char* KOR_STDCALL GetName() override { return "failing"; }
  Bool8 KOR_STDCALL IsRowMarker() override { return 0; }
  void KOR_STDCALL SetNameW(const char16_t*) override {}
  const char16_t* KOR_STDCALL GetNameW() override { return u"failing"; }
  HResult KOR_STDCALL SetValueW(const TVarData*) override { return plat::kEFail; }
  HResult KOR_STDCALL GetValueW(TVarData*) override { return plat::kEFail; }
};

// Every HRESULT slot of both list forms, each made to fail: E_UNEXPECTED,
// interface out-parameters nil, VARIANT out-parameters zeroed, other
// out-parameters untouched, the list unchanged.
TEST(ParamsIntf, EveryHResultSlotOfBothFormsFailsCleanly) {
  HostList host;
  HostList broken;  // its list's signature is cleared: every look-up fails
  ReleaseItem(AddA(host.A, "a", Int(1)));
  ReleaseItem(AddA(broken.A, "a", Int(1)));
  broken.List().Signature = 0;
  TFailingItem failing;
  std::int32_t notAList[32] = {};
  const TVarData one = Int(1);
  const TVarData* noValue = nullptr;

  struct TCase {
    const char* what;
    char out;  // 'i' an item out-parameter, 'v' a VARIANT one, '-' neither
    std::function<HResult(Intf* item, TVarData* value, std::int32_t* index, Bool8* flag)> call;
  };
  const std::int32_t all = -1;
  const std::vector<TCase> cases = {
      {"A GetItem nil out", '-',
       [&](Intf*, TVarData*, std::int32_t*, Bool8*) {
         return Call<HResult>(host.A, kGetItem, std::int32_t{0}, static_cast<Intf*>(nullptr));
       }},
      {"A AddList no list", '-',
       [&](Intf*, TVarData*, std::int32_t*, Bool8* f) {
         return Call<HResult>(host.A, kAddList, notAList, f);
       }},
      {"W AddList no wrapper", '-',
       [&](Intf*, TVarData*, std::int32_t*, Bool8* f) {
         return Call<HResult>(host.W, kAddList, notAList, f);
       }},
      {"A AddListRange no list", '-',
       [&](Intf*, TVarData*, std::int32_t*, Bool8* f) {
         return Call<HResult>(host.A, kAddListRange, notAList, std::int32_t{0}, all, f);
       }},
      {"W AddListRange no wrapper", '-',
       [&](Intf*, TVarData*, std::int32_t*, Bool8* f) {
         return Call<HResult>(host.W, kAddListRange, notAList, std::int32_t{0}, all, f);
       }},
      {"A AddList nil out", '-',
       [&](Intf*, TVarData*, std::int32_t*, Bool8*) {
         return Call<HResult>(host.A, kAddList, &host.List(), static_cast<Bool8*>(nullptr));
       }},
      {"A FindItem broken", 'i',
       [&](Intf* i, TVarData*, std::int32_t*, Bool8*) {
         return Call<HResult>(broken.A, kFindItem, "a", std::int32_t{0}, all, i);
       }},
      {"W FindItem broken", 'i',
       [&](Intf* i, TVarData*, std::int32_t*, Bool8*) {
         return Call<HResult>(broken.W, kFindItem, u"a", std::int32_t{0}, all, i);
       }},
      {"A IndexOf broken", '-',
       [&](Intf*, TVarData*, std::int32_t* x, Bool8*) {
         return Call<HResult>(broken.A, kIndexOf, "a", std::int32_t{0}, all, x);
       }},
      {"W IndexOf broken", '-',
       [&](Intf*, TVarData*, std::int32_t* x, Bool8*) {
         return Call<HResult>(broken.W, kIndexOf, u"a", std::int32_t{0}, all, x);
       }},
      {"A GetValue broken", 'v',
       [&](Intf*, TVarData* v, std::int32_t*, Bool8*) {
         return Call<HResult>(broken.A, kGetValue, "a", std::int32_t{0}, all, v);
       }},
      {"W GetValue broken", 'v',
       [&](Intf*, TVarData* v, std::int32_t*, Bool8*) {
         return Call<HResult>(broken.W, kGetValue, u"a", std::int32_t{0}, all, v);
       }},
      {"A GetValueDef broken", 'v',
       [&](Intf*, TVarData* v, std::int32_t*, Bool8*) {
         return Call<HResult>(broken.A, kGetValueDef, "a", &one, std::int32_t{0}, all, v);
       }},
      {"W GetValueDef nil default", 'v',
       [&](Intf*, TVarData* v, std::int32_t*, Bool8*) {
         return Call<HResult>(host.W, kGetValueDef, u"a", noValue, std::int32_t{0}, all, v);
       }},
      {"A Add nil value", 'i',
       [&](Intf* i, TVarData*, std::int32_t*, Bool8*) {
         return Call<HResult>(host.A, kAdd, "b", noValue, i);
       }},
      {"W Add nil value", 'i',
       [&](Intf* i, TVarData*, std::int32_t*, Bool8*) {
         return Call<HResult>(host.W, kAdd, u"b", noValue, i);
       }},
      {"A Insert bad index", 'i',
       [&](Intf* i, TVarData*, std::int32_t*, Bool8*) {
         return Call<HResult>(host.A, kInsert, std::int32_t{2}, "b", &one, i);
       }},
      {"W Insert bad index", 'i',
       [&](Intf* i, TVarData*, std::int32_t*, Bool8*) {
         return Call<HResult>(host.W, kInsert, std::int32_t{-1}, u"b", &one, i);
       }},
      {"A SetValue broken", 'i',
       [&](Intf* i, TVarData*, std::int32_t*, Bool8*) {
         return Call<HResult>(broken.A, kSetValue, "a", &one, Bool8{1}, i);
       }},
      {"W SetValue nil value", 'i',
       [&](Intf* i, TVarData*, std::int32_t*, Bool8*) {
         return Call<HResult>(host.W, kSetValue, u"a", noValue, Bool8{1}, i);
       }},
      {"A AddItem failing source", 'i',
       [&](Intf* i, TVarData*, std::int32_t*, Bool8*) {
         return Call<HResult>(host.A, kAddItem, static_cast<IkorParamsListItemA*>(&failing), i);
       }},
      {"W AddItem failing source", 'i',
       [&](Intf* i, TVarData*, std::int32_t*, Bool8*) {
         return Call<HResult>(host.W, kAddItem, static_cast<IkorParamsListItemW*>(&failing), i);
       }},
  };
  for (const TCase& c : cases) {
    Intf item = kGarbage;
    TVarData value = Poisoned();
    std::int32_t index = 1234;
    Bool8 flag = 77;
    EXPECT_EQ(c.call(&item, &value, &index, &flag), kUnexpected) << c.what;
    EXPECT_EQ(item, c.out == 'i' ? nullptr : kGarbage) << c.what;
    EXPECT_EQ(IsZeroed(value), c.out == 'v') << c.what;
    EXPECT_EQ(index, 1234) << c.what;
    EXPECT_EQ(flag, 77) << c.what;
    EXPECT_EQ(host.List().Count(), 1) << c.what;
  }

  // The item slots with a result code.
  Intf item = AddA(host.A, "c", one);
  TVarData* noOut = nullptr;
  EXPECT_EQ(Call<HResult>(item, kItemSetValue, noValue), kUnexpected);
  EXPECT_EQ(Call<HResult>(item, kSetValueW, noValue), kUnexpected);
  EXPECT_EQ(Call<HResult>(item, kItemGetValue, noOut), kUnexpected);
  EXPECT_EQ(Call<HResult>(item, kGetValueW, noOut), kUnexpected);
  EXPECT_EQ(host.List().ValueOf("c"), OleVariant(1)) << "a refused SetValue keeps the value";
  ReleaseItem(item);
}

// Values with a nil payload are stored without being read; host text with
// none is the empty OLE text.
TEST(ParamsIntf, NilPayloadsAreStoredWithoutBeingRead) {
  HostList host;
  for (std::uint16_t vt : {std::uint16_t{plat::varOleStr}, std::uint16_t{plat::varDispatch},
                           std::uint16_t{plat::varUnknown}, std::uint16_t{plat::varString},
                           std::uint16_t{plat::varUString}}) {
    TVarData value = Raw(vt);
    Intf item = kGarbage;
    EXPECT_EQ(Call<HResult>(host.A, kAdd, "nil", &value, &item), plat::kSOk) << vt;
    TVarData out = Poisoned();
    EXPECT_EQ(Call<HResult>(item, kGetValueW, &out), plat::kSOk) << vt;
    if (vt == plat::varString || vt == plat::varUString || vt == plat::varOleStr) {
      // A nil BSTR is the empty text; a copy may be nil or an allocated one.
      EXPECT_EQ(out.VType, plat::varOleStr) << "host text is stored as OLE text";
      EXPECT_EQ(plat::SysStringLen(out.VOleStr), 0u);
    } else {
      EXPECT_EQ(out.VType, vt);
      EXPECT_EQ(out.VPointer, nullptr) << vt;
    }
    plat::VariantClear(out);
    ReleaseItem(item);
  }
  EXPECT_EQ(host.List().Count(), 5);
}

TEST(ParamsIntf, NilNamesAreEmptyNames) {
  HostList host;
  TVarData value = Int(1);
  Intf item = kGarbage;
  EXPECT_EQ(Call<HResult>(host.A, kAdd, static_cast<const char*>(nullptr), &value, &item),
            plat::kSOk);
  EXPECT_EQ(item, nullptr) << "a blank name adds nothing";
  item = kGarbage;
  EXPECT_EQ(Call<HResult>(host.W, kAdd, u"   ", &value, &item), plat::kSOk);
  EXPECT_EQ(item, nullptr);
  std::int32_t index = 5;
  EXPECT_EQ(Call<HResult>(host.W, kIndexOf, static_cast<const char16_t*>(nullptr), std::int32_t{0},
                          std::int32_t{-1}, &index),
            plat::kSOk);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(host.List().Count(), 0);
}

std::atomic<int> gWarnings{0};
void CountWarning(const char* text) {
  EXPECT_STREQ(text, TkorParamsListWrap::kDestroyWarning);
  ++gWarnings;
}

TEST(ParamsIntfWrap, PinnedWrapperSurvivesReleaseToZero) {
  TkorParamsListWrap::SetDestroyWarningHandler(CountWarning);
  gWarnings = 0;
  TkorParamsList list;
  auto* wrap = new TkorParamsListWrap(&list, true);
  IkorParamsListA** pin = wrap->PinA();
  EXPECT_EQ(wrap->PinA(), pin) << "the same address on every call";
  Intf a = *pin;
  Call<std::uint32_t>(a, kAddRef);  // the host takes a reference ...
  EXPECT_EQ(Call<std::uint32_t>(a, kRelease), 1u);
  EXPECT_EQ(Call<std::uint32_t>(a, kRelease), 0u);  // ... and drops the pin's as well
  EXPECT_EQ(Call<std::int32_t>(a, kGetCount), 0) << "still alive after Release to 0";
  wrap->Free();
  EXPECT_EQ(gWarnings, 0);
  EXPECT_EQ(list.Signature, kParamsListSignature);
}

TEST(ParamsIntfWrap, FreeWithHostReferencesWarnsAndDestroysAnyway) {
  TkorParamsListWrap::SetDestroyWarningHandler(CountWarning);
  gWarnings = 0;
  auto* wrap = new TkorParamsListWrap();
  Intf a = *wrap->PinA();
  Call<std::uint32_t>(a, kAddRef);  // a reference the host never gives back
  wrap->Free();
  EXPECT_EQ(gWarnings, 1);

  auto* clean = new TkorParamsListWrap();
  clean->PinA();
  clean->Free();
  EXPECT_EQ(gWarnings, 1) << "no warning when only the pin held it";
  TkorParamsListWrap::SetDestroyWarningHandler(nullptr);
}

TEST(ParamsIntfWrap, UnpinnedWrapperFreesItselfAndItsOwnedList) {
  // Under the sanitizers a leak or double free here fails the run.
  auto* wrap = new TkorParamsListWrap();
  Intf w = nullptr;
  wrap->QueryInterface(kIID_IkorParamsListW, &w);
  TVarData one = Int(1);
  Intf added = nullptr;
  EXPECT_EQ(Call<HResult>(w, kAdd, u"x", &one, &added), plat::kSOk);
  ReleaseItem(added);
  Intf item = nullptr;
  Call<HResult>(w, kGetItem, std::int32_t{0}, &item);
  EXPECT_EQ(Call<std::uint32_t>(w, kRelease), 0u);
  ReleaseItem(item);  // item wrappers do not own items; the list is gone, the wrapper too
}

TEST(ParamsIntfRefCountConcurrency, ReferencesFromManyThreads) {
  HostList host;
  Intf item = AddA(host.A, "shared", Int(1));
  constexpr int kThreads = 4;
  constexpr int kRounds = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        Call<std::uint32_t>(item, kAddRef);
        Call<std::uint32_t>(host.W, kAddRef);
        Call<std::uint32_t>(host.W, kRelease);
        Call<std::uint32_t>(item, kRelease);
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(Call<std::uint32_t>(item, kAddRef), 2u);
  EXPECT_EQ(Call<std::uint32_t>(item, kRelease), 1u);
  ReleaseItem(item);

  // The last Release, whichever thread makes it, frees the wrapper once.
  auto* wrap = new TkorParamsListWrap();
  Intf w = nullptr;
  wrap->QueryInterface(kIID_IkorParamsListW, &w);
  for (int t = 1; t < kThreads; ++t) Call<std::uint32_t>(w, kAddRef);
  std::vector<std::thread> releasers;
  for (int t = 0; t < kThreads; ++t)
    releasers.emplace_back([w] { Call<std::uint32_t>(w, kRelease); });
  for (auto& thread : releasers) thread.join();
}

}  // namespace
