#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SettingsTestSupport.h"
#include "params/CfgOptionsProxy.h"
#include "params/IniFiles.h"
#include "params/TWregistry.h"
#include "params/TWregistryStores.h"
#include "params/korParamLst.h"
#include "platform/Files.h"
#include "platform/Registry.h"

using settingstest::ReadBytes;
using settingstest::TScratchDir;
using settingstest::WriteBytes;

namespace {

// The module's persisted properties, as its form lists them.
const std::vector<std::string> kModuleProperties = {"Left,Left",
                                                    "Top,Top",
                                                    "Height,Height",
                                                    "Width,Width",
                                                    ";---short---",
                                                    "lblParams.Caption,Parser config",
                                                    "OpenDialog.FileName,Open files dir",
                                                    "SaveDialog.FileName,Save files dir",
                                                    "spMinInt.Value,Min interval"};

void SetEntries(TWreg& store, const std::vector<std::string>& lines) {
  store.Components.Clear();
  for (const std::string& line : lines) store.Components.Add(line);
}

std::string IniValue(const std::string& file, const std::string& section, const std::string& key) {
  TIniDocument doc(ReadBytes(file));
  std::string value;
  return doc.ReadString(section, key, value) ? value : "<absent>";
}

std::vector<std::string> Names(const TStringList& list) {
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < list.Count(); ++i) names.push_back(list.Strings(i));
  return names;
}

void FillProxy(TDataSourceCfg& cfg) {
  cfg.Left = 10;
  cfg.Top = -20;
  cfg.Height = 300;
  cfg.Width = 400;
  cfg.lblParams_Caption = "<MBUS>\r\n <R A=\"1\"/>\r\n</MBUS>";
  cfg.OpenDialog_FileName = "C:\\Meters\\in.xml";
  cfg.SaveDialog_FileName = "  spaced.xml";
  cfg.spMinInt_Value = 1234.5;
}

void ExpectSameProxy(const TDataSourceCfg& a, const TDataSourceCfg& b) {
  EXPECT_EQ(a.Left, b.Left);
  EXPECT_EQ(a.Top, b.Top);
  EXPECT_EQ(a.Height, b.Height);
  EXPECT_EQ(a.Width, b.Width);
  EXPECT_EQ(a.lblParams_Caption, b.lblParams_Caption);
  EXPECT_EQ(a.OpenDialog_FileName, b.OpenDialog_FileName);
  EXPECT_EQ(a.SaveDialog_FileName, b.SaveDialog_FileName);
  EXPECT_EQ(a.spMinInt_Value, b.spMinInt_Value);
}

// A parameter list with an item of every stored kind.
// An item typed as the host types it: DataType is the value's type.
void AddTyped(TkorParamsList& list, const char* name, const OleVariant& value) {
  list.Add(name, value)->DataType = value.VType();
}

void FillKinds(TkorParamsList& list) {
  AddTyped(list, "i16", OleVariant(static_cast<std::int16_t>(-7)));
  AddTyped(list, "i32", OleVariant(static_cast<std::int32_t>(-123456)));
  AddTyped(list, "u32", OleVariant(static_cast<std::uint32_t>(4000000000u)));
  AddTyped(list, "i64", OleVariant(static_cast<std::int64_t>(-9000000000123LL)));
  AddTyped(list, "dbl", OleVariant(0.1));
  AddTyped(list, "sgl", OleVariant(2.5F));
  AddTyped(list, "date", OleVariant::Date(45000.25));
  AddTyped(list, "wide", OleVariant(std::u16string_view(u"wide text")));
  AddTyped(list, "flag", OleVariant(true));
  AddTyped(list, "off", OleVariant(false));
}

const std::vector<std::string> kKindEntries = {
    "i16,Kinds\\i16", "i32,Kinds\\i32",   "u32,Kinds\\u32",   "i64,Kinds\\i64",   "dbl,Kinds\\dbl",
    "sgl,Kinds\\sgl", "date,Kinds\\date", "wide,Kinds\\wide", "flag,Kinds\\flag", "off,Kinds\\off"};

// Loads into a list with the same items set to other values, so each load
// must convert back to the item's own type.
void ExpectKindsRoundTrip(TWreg& store) {
  TkorParamsList saved;
  FillKinds(saved);
  SetEntries(store, kKindEntries);
  ASSERT_TRUE(store.Save(saved));
  TkorParamsList loaded;
  FillKinds(loaded);
  loaded.SetValue("i16", OleVariant(static_cast<std::int16_t>(0)));
  loaded.SetValue("i32", OleVariant(static_cast<std::int32_t>(0)));
  loaded.SetValue("u32", OleVariant(static_cast<std::uint32_t>(0)));
  loaded.SetValue("i64", OleVariant(static_cast<std::int64_t>(0)));
  loaded.SetValue("dbl", OleVariant(0.0));
  loaded.SetValue("sgl", OleVariant(0.0F));
  loaded.SetValue("date", OleVariant::Date(0));
  loaded.SetValue("wide", OleVariant(std::u16string_view(u"")));
  loaded.SetValue("flag", OleVariant(false));
  loaded.SetValue("off", OleVariant(true));
  ASSERT_TRUE(store.Load(loaded));
  for (const char* name :
       {"i16", "i32", "u32", "i64", "dbl", "sgl", "date", "wide", "flag", "off"}) {
    OleVariant a = saved.GetValue(name);
    OleVariant b = loaded.GetValue(name);
    EXPECT_EQ(a.VType(), b.VType()) << name;
    EXPECT_TRUE(a == b) << name << ": " << a.AsAnsiString() << " vs " << b.AsAnsiString();
  }
}

}  // namespace

// ---- entries and names ----

TEST(WregEntry, LineFormat) {
  TWregEntry e;
  EXPECT_FALSE(ParseWregEntry("", e));
  EXPECT_FALSE(ParseWregEntry("  \t ", e));
  EXPECT_FALSE(ParseWregEntry(";---short---", e));
  EXPECT_FALSE(ParseWregEntry("  ;Left,Left", e));
  EXPECT_FALSE(ParseWregEntry(" ,Name", e));  // no property path

  ASSERT_TRUE(ParseWregEntry("\t lblParams.Caption , Parser config ; a comment \r", e));
  EXPECT_EQ(e.Path, "lblParams.Caption");
  EXPECT_EQ(e.Name, "Parser config");
  EXPECT_EQ(e.SubKey, "");
  EXPECT_EQ(e.ValueName, "Parser config");

  ASSERT_TRUE(ParseWregEntry("Left;Window\\Left", e));  // ";" splits without ","
  EXPECT_EQ(e.Path, "Left");
  EXPECT_EQ(e.SubKey, "Window");
  EXPECT_EQ(e.ValueName, "Left");

  ASSERT_TRUE(ParseWregEntry("a.b,\\One\\\\Two\\Three", e));  // leading and doubled "\"
  EXPECT_EQ(e.Name, "One\\Two\\Three");
  EXPECT_EQ(e.SubKey, "One\\Two");
  EXPECT_EQ(e.ValueName, "Three");

  ASSERT_TRUE(ParseWregEntry("OnlyPath", e));
  EXPECT_EQ(e.Name, "");
}

TEST(WregNames, KeysAndSections) {
  TWreg store;
  store.RegistryPath = "\\Software\\Maker\\App\\";
  TWregEntry top;
  TWregEntry sub;
  ASSERT_TRUE(ParseWregEntry("x,Parser config", top));
  ASSERT_TRUE(ParseWregEntry("x,Devices\\Serial\\Port", sub));
  EXPECT_EQ(store.RegistryKeyOf(top), "\\Software\\Maker\\App");
  EXPECT_EQ(store.RegistryKeyOf(sub), "\\Software\\Maker\\App\\Devices\\Serial");

  using Op = TWregOperation;
  EXPECT_EQ(store.IniSectionOf(top, Op::Save), "Common");
  EXPECT_EQ(store.IniSectionOf(top, Op::Delete), "");
  EXPECT_EQ(store.IniSectionOf(sub, Op::Load), "Devices.Serial");
  store.INIFileSectionPrefix = "MBUS 1";
  EXPECT_EQ(store.IniSectionOf(top, Op::Load), "MBUS 1.Common");
  EXPECT_EQ(store.IniSectionOf(top, Op::ListValues), "MBUS 1.Common");
  EXPECT_EQ(store.IniSectionOf(top, Op::ListSections), "MBUS 1");
  EXPECT_EQ(store.IniSectionOf(sub, Op::Save), "MBUS 1.Devices.Serial");
  store.INIFileSectionPrefix = "Plugins\\MBUS\\";  // the prefix alone
  EXPECT_EQ(store.IniSectionOf(top, Op::Save), "Plugins\\MBUS");
  EXPECT_EQ(store.IniSectionOf(sub, Op::Save), "Plugins\\MBUS.Devices.Serial");
  store.INIFileSectionPrefix = "Plugins/";
  EXPECT_EQ(store.IniSectionOf(top, Op::Load), "Plugins");
}

TEST(WregNames, RegistryKeyDeletionGuard) {
  EXPECT_FALSE(RegistryKeyMayBeDeleted("\\a\\b"));             // too short
  EXPECT_FALSE(RegistryKeyMayBeDeleted("\\Software\\Maker"));  // two backslashes
  EXPECT_FALSE(RegistryKeyMayBeDeleted("Software\\Maker\\App"));
  EXPECT_TRUE(RegistryKeyMayBeDeleted("\\a\\b\\c"));
  EXPECT_TRUE(RegistryKeyMayBeDeleted("\\Software\\Maker\\App"));
  EXPECT_EQ(RegistryRootKey(rrHKEY_CURRENT_USER), 0x80000001u);
  EXPECT_EQ(RegistryRootKey(rrHKEY_CURRENT_CONFIG), 0x80000005u);
  EXPECT_EQ(RegistryRootKey(rrNone), 0u);
}

// ---- INI files (every build) ----

TEST(WregIni, ProxyGoesDirectlyBelowThePath) {
  TScratchDir dir;
  TWreg store;
  store.INIFile = dir.File("host.ini");
  store.INIFileSectionPrefix = "MBUS";
  SetEntries(store, kModuleProperties);
  TDataSourceCfg cfg(nullptr);
  FillProxy(cfg);
  ASSERT_TRUE(store.Save(cfg));
  EXPECT_NE(ReadBytes(store.INIFile)
                .find("\r\nParser config=[[Text]]<MBUS>%0D%0A <R A=\"1\"/>%0D%0A</MBUS>\r\n"),
            std::string::npos);
  EXPECT_EQ(IniValue(store.INIFile, "MBUS.Common", "Left"), "10");
  EXPECT_EQ(IniValue(store.INIFile, "MBUS.Common", "Min interval"), "1234.5");
  EXPECT_EQ(IniValue(store.INIFile, "MBUS.Common", "Open files dir"), "C:\\Meters\\in.xml");

  TDataSourceCfg loaded(nullptr);
  ASSERT_TRUE(store.Load(loaded));
  ExpectSameProxy(cfg, loaded);
}

TEST(WregIni, FreshProxyRoundTripsItsDefaults) {
  TScratchDir dir;
  TWreg store;
  store.INIFile = dir.File("host.ini");
  SetEntries(store, kModuleProperties);
  TDataSourceCfg fresh(nullptr);
  ASSERT_TRUE(store.Save(fresh));
  // Empty texts delete rather than store; a number 0 is stored.
  EXPECT_EQ(IniValue(store.INIFile, "Common", "Parser config"), "<absent>");
  EXPECT_EQ(IniValue(store.INIFile, "Common", "Min interval"), "0");
  TDataSourceCfg loaded(nullptr);
  loaded.lblParams_Caption = "unchanged when nothing is stored";
  ASSERT_TRUE(store.Load(loaded));
  EXPECT_EQ(loaded.Left, 326);
  EXPECT_EQ(loaded.Top, 144);
  EXPECT_EQ(loaded.Height, 435);
  EXPECT_EQ(loaded.Width, 481);
  EXPECT_EQ(loaded.lblParams_Caption, "unchanged when nothing is stored");
}

TEST(WregIni, HostFileOutsideOurKeysStaysByteForByte) {
  TScratchDir dir;
  const std::string file = dir.File("HOST.INI");
  const std::string head =
      ";Host configuration -- do not edit\r\n"
      "[General]\r\n"
      "Language = EN   \r\n"
      "  Indented=yes\r\n"
      "\r\n"
      "[MBUS.Common]\r\n"
      "Left=1\r\n"
      "; the host's note inside our section\r\n";
  const std::string tail =
      "\r\n"
      "[Zeta]\r\n"
      "x=\"quoted\"\r\n"
      "\tweird line without equals\r\n"
      "[Broken\r\n"
      "Left=not ours\r\n";
  WriteBytes(file, head + tail);
  TWreg store;
  store.INIFile = file;
  store.INIFileSectionPrefix = "MBUS";
  SetEntries(store, kModuleProperties);
  TDataSourceCfg cfg(nullptr);
  FillProxy(cfg);
  ASSERT_TRUE(store.Save(cfg));
  const std::string text = ReadBytes(file);
  const std::string ours =
      "Left=10\r\n"
      "Top=-20\r\n"
      "Height=300\r\n"
      "Width=400\r\n"
      "Parser config=[[Text]]<MBUS>%0D%0A <R A=\"1\"/>%0D%0A</MBUS>\r\n"
      "Open files dir=C:\\Meters\\in.xml\r\n"
      "Save files dir=[[Text]]%20 spaced.xml\r\n"
      "Min interval=1234.5\r\n";
  std::string expected = head + tail;
  expected.replace(expected.find("Left=1\r\n"), 8, ours);
  EXPECT_EQ(text, expected);
  // Saving again changes nothing at all.
  ASSERT_TRUE(store.Save(cfg));
  EXPECT_EQ(ReadBytes(file), text);
}

TEST(WregIni, SubSectionsAndPrefixes) {
  TScratchDir dir;
  TWreg store;
  store.INIFile = dir.File("host.ini");
  TkorParamsList list;
  list.Add("a", OleVariant(static_cast<std::int32_t>(1)));
  SetEntries(store, {"a,Window\\Left", "a,One\\Two\\Deep"});
  ASSERT_TRUE(store.Save(list));
  EXPECT_EQ(IniValue(store.INIFile, "Window", "Left"), "1");
  EXPECT_EQ(IniValue(store.INIFile, "One.Two", "Deep"), "1");
  store.INIFileSectionPrefix = "P\\";
  SetEntries(store, {"a,Top", "a,Sub\\Val"});
  ASSERT_TRUE(store.Save(list));
  EXPECT_EQ(IniValue(store.INIFile, "P", "Top"), "1");
  EXPECT_EQ(IniValue(store.INIFile, "P.Sub", "Val"), "1");
}

TEST(WregIni, EveryValueKindRoundTrips) {
  TScratchDir dir;
  TWreg store;
  store.INIFile = dir.File("host.ini");
  ExpectKindsRoundTrip(store);
  EXPECT_EQ(IniValue(store.INIFile, "Kinds", "flag"), "True");
  EXPECT_EQ(IniValue(store.INIFile, "Kinds", "i64"), "-9000000000123");
}

TEST(WregIni, NullEmptyAndMissingValues) {
  TScratchDir dir;
  TWreg store;
  store.INIFile = dir.File("host.ini");
  TkorParamsList list;
  list.Add("n", OleVariant::Null());
  list.Add("s", OleVariant("text"));
  SetEntries(store, {"n,n", "s,s", "missing,m"});
  ASSERT_TRUE(store.Save(list));
  EXPECT_EQ(IniValue(store.INIFile, "Common", "n"), "[[Null]]");
  EXPECT_EQ(IniValue(store.INIFile, "Common", "s"), "text");
  EXPECT_EQ(IniValue(store.INIFile, "Common", "m"), "<absent>");
  list.SetValue("s", OleVariant(""));
  ASSERT_TRUE(store.Save(list));
  EXPECT_EQ(IniValue(store.INIFile, "Common", "s"), "<absent>");
  TkorParamsList loaded;
  ASSERT_TRUE(store.Load(loaded));
  EXPECT_EQ(loaded.GetValue("n").AsAnsiString(), "[[Null]]");  // stays text
}

TEST(WregIni, ReadsEitherDecimalSeparatorAndSkipsBadValues) {
  TScratchDir dir;
  TWreg store;
  store.INIFile = dir.File("host.ini");
  WriteBytes(store.INIFile,
             "[Common]\r\nMin interval=2,5\r\nLeft=12abc\r\nTop=99999999999\r\nWidth=$10\r\n");
  SetEntries(store, kModuleProperties);
  TDataSourceCfg cfg(nullptr);
  ASSERT_TRUE(store.Load(cfg));
  EXPECT_EQ(cfg.spMinInt_Value, 2.5);
  EXPECT_EQ(cfg.Left, 326);  // not a number: skipped
  EXPECT_EQ(cfg.Top, 144);   // beyond 32 bits: skipped
  EXPECT_EQ(cfg.Width, 16);
  TStringList notAProxy;
  EXPECT_FALSE(store.Load(notAProxy));  // its paths name nothing
}

TEST(WregIni, MissingFileFallsBackToTheRegistry) {
  TScratchDir dir;
  TWreg store;
  store.RegistryPath = "\\Software\\KorTests\\Fallback";
  store.RegistryRoot = rrHKEY_CURRENT_USER;
  SetEntries(store, kModuleProperties);
  TDataSourceCfg saved(nullptr);
  FillProxy(saved);
  const bool registry = plat::RegistryUsable();
  EXPECT_EQ(store.Save(saved), registry);  // INIFile empty: the registry
  store.INIFile = dir.File("missing.ini");
  TDataSourceCfg loaded(nullptr);
  EXPECT_EQ(store.Load(loaded), registry);
  EXPECT_FALSE(plat::FileExists(store.INIFile));
  if (registry) {
    ExpectSameProxy(saved, loaded);
    plat::RegDeleteKeyTree(plat::kHKeyCurrentUser, "\\Software\\KorTests");
  } else {
    EXPECT_EQ(loaded.Left, 326);  // posix has no registry: nothing loaded
  }
}

TEST(WregIni, DeleteTakesTheKeyAndItsDottedChildren) {
  TScratchDir dir;
  TWreg store;
  store.INIFile = dir.File("host.ini");
  store.INIFileSectionPrefix = "M";
  WriteBytes(store.INIFile,
             "[M.Sub]\r\nGrid=1\r\nGrid.Col1=2\r\ngrid.col2=3\r\nGridX=4\r\nOther=5\r\n"
             "[M]\r\nTop=1\r\nKeep=2\r\n");
  SetEntries(store, {"x,Sub\\Grid", "x,Top"});  // no Common for Delete
  ASSERT_TRUE(store.Delete());
  EXPECT_EQ(ReadBytes(store.INIFile), "[M.Sub]\r\nGridX=4\r\nOther=5\r\n[M]\r\nKeep=2\r\n");
}

TEST(WregIni, ListingModes) {
  TScratchDir dir;
  TWreg store;
  store.INIFile = dir.File("host.ini");
  store.INIFileSectionPrefix = "MBUS";
  WriteBytes(store.INIFile,
             "[MBUS.Common]\r\nLeft=1\r\nTop=2\r\n[mbus.devices]\r\nA=1\r\n[MBUS.Devices.Port1]\r\n"
             "[MBUSX]\r\n[Other]\r\n[MBUS.Common]\r\nLeft=3\r\nWidth=4\r\n");
  TStringList sections;
  ASSERT_TRUE(store.ListSections(sections));  // empty entry list: "?,"
  EXPECT_EQ(Names(sections), (std::vector<std::string>{"Common", "devices", "Devices.Port1"}));
  TStringList values;
  ASSERT_TRUE(store.ListValues(values));
  EXPECT_EQ(Names(values), (std::vector<std::string>{"Left", "Top"}));
  SetEntries(store, {"?,Devices\\"});
  TStringList below;
  ASSERT_TRUE(store.ListSections(below));
  EXPECT_EQ(Names(below), (std::vector<std::string>{"Port1"}));
  SetEntries(store, {"?,Nothing\\"});
  TStringList none;
  EXPECT_FALSE(store.ListValues(none));
}

TEST(WregIni, NotATextFileIsAnErrorAndStaysAsItWas) {
  TScratchDir dir;
  TWreg store;
  store.INIFile = dir.File("host.ini");
  const std::string bytes("\xFF\xFE[\0C\0]\0", 8);
  WriteBytes(store.INIFile, bytes);
  SetEntries(store, kModuleProperties);
  TDataSourceCfg cfg(nullptr);
  EXPECT_THROW(store.Load(cfg), EIniFileError);
  EXPECT_THROW(store.Save(cfg), EIniFileError);
  EXPECT_EQ(ReadBytes(store.INIFile), bytes);
}

TEST(WregEvents, CustomStorageGoesThroughTheEvents) {
  TWreg store;
  store.INIFile = kWregCustomStorage;
  std::vector<std::string> set;
  store.SetValue = [&](TWreg&, const std::string& name, std::int32_t, const OleVariant& v) {
    set.push_back(name + "=" + (v.IsEmpty() ? "<deleted>" : v.AsAnsiString()));
  };
  store.GetValue = [](TWreg&, const std::string& name, std::int32_t, OleVariant& v) {
    if (name == "Left") v = OleVariant(static_cast<std::int32_t>(77));
    if (name == "Min interval") v = OleVariant("3,25");
  };
  store.BeforeProcessItem = [](TWreg&, std::string& name, bool& skip) {
    skip = name == "Top";
    if (name == "Width") name = "Renamed\\Width";
  };
  SetEntries(store, kModuleProperties);
  TDataSourceCfg cfg(nullptr);
  ASSERT_TRUE(store.Save(cfg));
  EXPECT_EQ(set, (std::vector<std::string>{"Left=326", "Height=435", "Renamed\\Width=481",
                                           "Parser config=<deleted>", "Open files dir=<deleted>",
                                           "Save files dir=<deleted>", "Min interval=0"}));
  ASSERT_TRUE(store.Load(cfg));
  EXPECT_EQ(cfg.Left, 77);
  EXPECT_EQ(cfg.spMinInt_Value, 3.25);
}

TEST(WregObjects, ComponentPathsReachAnOwnedProxy) {
  TScratchDir dir;
  TComponent form(nullptr);
  auto* cfg = new TDataSourceCfg(&form);
  cfg->Name = "Config";
  cfg->Width = 999;
  TWreg store;
  store.INIFile = dir.File("host.ini");
  SetEntries(store, {"Config.Width,Width", "Nobody.Width,Other", "Width,Plain"});
  ASSERT_TRUE(store.Save(form));
  EXPECT_EQ(IniValue(store.INIFile, "Common", "Width"), "999");
  EXPECT_EQ(IniValue(store.INIFile, "Common", "Other"), "<absent>");
  EXPECT_EQ(IniValue(store.INIFile, "Common", "Plain"), "<absent>");
}

// ---- the registry (Windows builds; posix has none) ----

class WregRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!plat::RegistryUsable()) GTEST_SKIP() << "no registry on this system";
    plat::RegDeleteKeyTree(plat::kHKeyCurrentUser, kBase);
    Store.RegistryRoot = rrHKEY_CURRENT_USER;
    Store.RegistryPath = std::string("\\") + kBase + "\\App";
  }
  void TearDown() override {
    if (plat::RegistryUsable()) plat::RegDeleteKeyTree(plat::kHKeyCurrentUser, kBase);
  }
  static bool Value(const std::string& key, const std::string& name, plat::TRegKey::TValue& value) {
    plat::TRegKey k;
    return k.Open(plat::kHKeyCurrentUser, key, false) && k.ReadValue(name, value);
  }

  static constexpr const char* kBase = "Software\\KorTests";
  TWreg Store;
};

TEST_F(WregRegistry, ProxyValuesAndTheirKinds) {
  SetEntries(Store, kModuleProperties);
  TDataSourceCfg cfg(nullptr);
  FillProxy(cfg);
  ASSERT_TRUE(Store.Save(cfg));
  plat::TRegKey::TValue v;
  ASSERT_TRUE(Value(Store.RegistryPath, "Parser config", v));
  EXPECT_EQ(v.Kind, plat::TRegKey::TKind::Text);
  EXPECT_EQ(v.Data, cfg.lblParams_Caption);
  ASSERT_TRUE(Value(Store.RegistryPath, "Top", v));
  EXPECT_EQ(v.Kind, plat::TRegKey::TKind::Integer);
  EXPECT_EQ(static_cast<std::int32_t>(v.Integer), -20);
  ASSERT_TRUE(Value(Store.RegistryPath, "Min interval", v));
  EXPECT_EQ(v.Kind, plat::TRegKey::TKind::Binary);
  EXPECT_EQ(v.Data.size(), 8u);
  TDataSourceCfg loaded(nullptr);
  ASSERT_TRUE(Store.Load(loaded));
  ExpectSameProxy(cfg, loaded);
}

TEST_F(WregRegistry, EveryValueKindRoundTrips) {
  ExpectKindsRoundTrip(Store);
  plat::TRegKey::TValue v;
  ASSERT_TRUE(Value(Store.RegistryPath + "\\Kinds", "i64", v));
  EXPECT_EQ(v.Kind, plat::TRegKey::TKind::Text);  // beyond 32 bits
  ASSERT_TRUE(Value(Store.RegistryPath + "\\Kinds", "flag", v));
  EXPECT_EQ(v.Data, "True");
}

TEST_F(WregRegistry, TextPropertiesReadNumbersAsText) {
  plat::TRegKey key;
  ASSERT_TRUE(key.Open(plat::kHKeyCurrentUser, Store.RegistryPath, true));
  ASSERT_TRUE(key.WriteInteger("Open files dir", 42));
  ASSERT_TRUE(key.WriteBinary("Save files dir", std::string("\x01\xAB", 2)));
  SetEntries(Store, kModuleProperties);
  TDataSourceCfg cfg(nullptr);
  ASSERT_TRUE(Store.Load(cfg));
  EXPECT_EQ(cfg.OpenDialog_FileName, "42");
  EXPECT_EQ(cfg.SaveDialog_FileName, "01AB");
}

TEST_F(WregRegistry, NoUsableRootMeansFalse) {
  SetEntries(Store, kModuleProperties);
  TDataSourceCfg cfg(nullptr);
  Store.RegistryRoot = rrNone;
  Store.SecondRegistryRoot = rrNone;
  EXPECT_FALSE(Store.Save(cfg));
  EXPECT_FALSE(Store.Load(cfg));
  EXPECT_FALSE(plat::RegKeyExists(plat::kHKeyCurrentUser, Store.RegistryPath));
  Store.SecondRegistryRoot = rrHKEY_CURRENT_USER;  // the second root serves
  EXPECT_TRUE(Store.Save(cfg));
  EXPECT_TRUE(plat::RegKeyExists(plat::kHKeyCurrentUser, Store.RegistryPath));
}

TEST_F(WregRegistry, LoadDoesNotCreateTheKey) {
  SetEntries(Store, kModuleProperties);
  TDataSourceCfg cfg(nullptr);
  EXPECT_FALSE(Store.Load(cfg));
  EXPECT_FALSE(plat::RegKeyExists(plat::kHKeyCurrentUser, Store.RegistryPath));
}

TEST_F(WregRegistry, DeleteWithItsGuard) {
  TkorParamsList list;
  list.Add("a", OleVariant(static_cast<std::int32_t>(1)));
  SetEntries(Store, {"a,Sub\\V", "a,Tree\\Inner\\W", "a,Top"});
  ASSERT_TRUE(Store.Save(list));
  // "Tree" names a key: it goes with all below it; "Sub" is empty after its
  // value goes and is removed too.
  SetEntries(Store, {"a,Sub\\V", "a,Tree", "a,Top"});
  ASSERT_TRUE(Store.Delete());
  EXPECT_FALSE(plat::RegKeyExists(plat::kHKeyCurrentUser, Store.RegistryPath + "\\Sub"));
  EXPECT_FALSE(plat::RegKeyExists(plat::kHKeyCurrentUser, Store.RegistryPath + "\\Tree"));
  plat::TRegKey::TValue v;
  EXPECT_FALSE(Value(Store.RegistryPath, "Top", v));

  // A short path is never deleted: "\Software\KorTests" has two backslashes.
  Store.RegistryPath = "\\Software";
  SetEntries(Store, {"a,KorTests"});
  Store.Delete();
  EXPECT_TRUE(plat::RegKeyExists(plat::kHKeyCurrentUser, "Software\\KorTests"));
}

TEST_F(WregRegistry, ListingModes) {
  TkorParamsList list;
  list.Add("a", OleVariant(static_cast<std::int32_t>(1)));
  SetEntries(Store, {"a,One\\V", "a,Two\\V", "a,Top", "a,Left"});
  ASSERT_TRUE(Store.Save(list));
  Store.Components.Clear();
  TStringList sections;
  ASSERT_TRUE(Store.ListSections(sections));
  sections.Sort();
  EXPECT_EQ(Names(sections), (std::vector<std::string>{"One", "Two"}));
  TStringList values;
  ASSERT_TRUE(Store.ListValues(values));
  values.Sort();
  EXPECT_EQ(Names(values), (std::vector<std::string>{"Left", "Top"}));
}
