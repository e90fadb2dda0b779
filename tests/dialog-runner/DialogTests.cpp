// The options dialog run by TDialogRunner as the host runs it: the script
// and forms the build made, the M-Bus plug-in loaded through its exports
// answering the dialog's events. The search tests run the plug-in's device
// search on a simulated segment (the acquisition tests' rig); the answers
// the segment cannot give (failed statuses, every error key, chosen
// progress texts) come from a scripted module (DialogSearchScript).
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "AcquisitionRig.h"
#include "DialogRunner.h"
#include "PluginEvents.h"
#include "host/PluginHost.h"
#include "params/korParamLst.h"
#include "platform/Modules.h"

namespace {

using dialogrun::kMrCancel;
using dialogrun::kMrOk;
using dialogrun::TDialogRunner;
using dialogrun::TKind;
using dialogrun::TObject;
using dialogrun::TObjectRef;
using dialogrun::TValue;

std::string ReadResource(const std::string& name) {
  std::ifstream file(std::string(KOR_DIALOG_RESOURCES) + "/" + name, std::ios::binary);
  if (!file) throw std::runtime_error("missing build output " + name);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string BesideProgram(const std::string& name) {
  std::string self = plat::ModuleFileName(plat::ExecutableModule());
  return self.substr(0, self.find_last_of(plat::kPathDelimiter) + 1) + name;
}

std::string PluginPath() {
  return BesideProgram(std::string("mbusplugin") + (plat::kPathDelimiter == '\\' ? ".dll" : ".so"));
}

std::unique_ptr<TDialogRunner> MakeRunner() {
  return std::make_unique<TDialogRunner>(
      ReadResource("FORM_DATA.xml"),
      dialogrun::TDialogStreams{ReadResource("TFRMOPTION.bin"), ReadResource("TFRMDEVICELIST.bin"),
                                ReadResource("TFRMOPPROGRESS.bin")});
}

const std::string kOnEvent =
    "<MBUS><Request><Enabled>1</Enabled><Device>7</Device><Timeout>100</Timeout>"
    "<RequestMethod><MethodEvent check=\"2\"><EventId>Read-Now</EventId></MethodEvent>"
    "</RequestMethod></Request></MBUS>";

// The dialog's parts every test reads.
class DialogParts {
 protected:
  TObject& Component(const std::string& name) const {
    TObjectRef found = Runner->Form().FindComponent(name);
    if (!found) throw std::runtime_error("no component " + name);
    return *found;
  }
  std::string Caption(const std::string& name) const {
    return Component(name).Get("Caption").AsText();
  }
  // The menu list of the tree's pop-up (the host's standard controls).
  TObject& MenuList() const { return *Component("VirtualTreePopup").Get("Items").Object; }
  std::vector<TObjectRef> SearchItems() const {
    std::vector<TObjectRef> items;
    for (const TObjectRef& item : MenuList().Items) {
      const TValue handler = item->Get("OnClick");
      if (handler.Kind == TKind::Routine && handler.Routine->Name == "mSearchDevicesClick")
        items.push_back(item);
    }
    return items;
  }
  // Opens the pop-up and clicks the search item with that tag.
  void Search(std::int64_t mode) {
    Runner->Fire(Component("VirtualTreePopup"), "OnPopup");
    for (const TObjectRef& item : SearchItems())
      if (item->Get("Tag").AsInt() == mode) {
        Runner->Fire(*item, "OnClick");
        return;
      }
    throw std::runtime_error("no search item with tag " + std::to_string(mode));
  }
  TObjectRef Progress() const {
    const auto forms = Runner->LiveForms("frmOpProgress");
    return forms.empty() ? nullptr : forms.back();
  }

  std::unique_ptr<TDialogRunner> Runner;
};

// The dialog with the M-Bus plug-in loaded through its exports.
class DialogWithPlugin : public ::testing::Test, public DialogParts {
 protected:
  void SetUp() override {
    Folder = std::filesystem::temp_directory_path() /
             ("dialog-runner-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
              "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(Folder);
    std::filesystem::create_directories(Folder);
    Options.IniFile = (Folder / "host.ini").string();
    Host = OpenPlugin();
    Runner = MakeRunner();
    Runner->OnEvent = dialogrun::PluginEvents(*Host);
  }
  void TearDown() override {
    Runner.reset();
    if (Host) Host->Unload();
    Host.reset();
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
  }
  std::unique_ptr<host::TPluginHost> OpenPlugin() {
    auto host = std::make_unique<host::TPluginHost>(PluginPath());
    EXPECT_EQ(host->Create(), kor::kResultOk);
    EXPECT_EQ(host->Load(Options), kor::kResultOk);
    return host;
  }
  // The form as the host creates it, with the persisted request text
  // restored into lblParams before OnCreate.
  void Open(const std::string& stored = std::string()) {
    Runner->BuildForm();
    Component("lblParams").Set("Caption", TValue::Of(stored));
    Runner->Fire(Runner->Form(), "OnCreate");
  }

  std::filesystem::path Folder;
  host::TLoadOptions Options;
  std::unique_ptr<host::TPluginHost> Host;
};

TEST_F(DialogWithPlugin, FormCreateWithTheFormBuildsTheTreeAndHooksTheHostControls) {
  Open(kOnEvent);
  const auto trees = Runner->CallsOf("CreateVirtualParamTreeview");
  ASSERT_EQ(trees.size(), 1u);
  EXPECT_EQ(trees[0].Args[0], "frmOption");
  EXPECT_EQ(trees[0].Args[1], "pan1");
  EXPECT_EQ(trees[0].Args[2], "propTree~Requests queue~RootNodeName,MBUS,Panel,OpenSave");
  const std::string& nodes = trees[0].Args[3];
  EXPECT_EQ(
      nodes.rfind("Request~@MsgReq~dtCategory,Editable~~\r\n Enabled~@MsgSendReq~dtCheckbox~~2\r\n",
                  0),
      0u);
  EXPECT_NE(
      nodes.find("\r\n   PollUnits~@MsgPollUnits~dtComboDropDownValuesList~@PollUnitList~MS\r\n"),
      std::string::npos);
  EXPECT_NE(
      nodes.find("\r\n   CronTime~@MsgCronMask~dtValidChars~*0123456789/ ,-~0 0 12 * * *\r\n"),
      std::string::npos);
  EXPECT_EQ(std::count(nodes.begin(), nodes.end(), '\n'), 18);

  const auto init = Runner->CallsOf("InitPluginConfigForm");
  ASSERT_EQ(init.size(), 1u);
  EXPECT_EQ(init[0].Args[1], "[ifoCloseForm, ifoStdControls]");
  EXPECT_TRUE(Runner->CallsOf("LoadPluginConfigForm").empty());

  const std::string empty = " (" + Caption("MsgEmptyAll") + ")";
  EXPECT_EQ(Caption("MsgStorageNo"), "Process storage numbers" + empty);
  EXPECT_EQ(Caption("MsgTariffNo"), "Process tariffs" + empty);
  EXPECT_EQ(Runner->Tree()->Get("HelpContext").AsInt(), 1);
  EXPECT_EQ(Caption("PollUnitList"), Caption("TxtMillisecond") + "==MS||" + Caption("TxtSecond") +
                                         "==S||" + Caption("TxtMinute") + "==M||" +
                                         Caption("TxtHour") + "==H");
  EXPECT_EQ(Component("btnOK").Get("OnClick").Routine->Name, "btnOKClick");
  EXPECT_EQ(Component("btnCancel").Get("OnClick").Routine->Name, "btnCancelClick");
  EXPECT_EQ(Component("VirtualTreePopup").Get("OnPopup").Routine->Name, "treePopup1Popup");
  EXPECT_EQ(Component("panParamTreeview").Get("Tag").AsInt(), 0);
  EXPECT_EQ(Runner->Tree()->Get("Text").AsText(), kOnEvent);
  EXPECT_TRUE(Runner->CallsOf("CreateDynChildForm").empty());
}

TEST_F(DialogWithPlugin, InTranslationTestModeTheChildFormsAreCreatedTranslatedAndFreed) {
  Runner->ModuleParameters["TESTTRANSL"] = TValue::Of(true);
  Open();
  const auto created = Runner->CallsOf("CreateDynChildForm");
  ASSERT_EQ(created.size(), 2u);
  EXPECT_EQ(created[0].Args[1], "DeviceList");
  EXPECT_EQ(created[1].Args[3], "TfrmOpProgress");
  const auto translated = Runner->CallsOf("Translate");
  ASSERT_EQ(translated.size(), 2u);
  EXPECT_EQ(translated[0].Args[0], "frmDeviceList");
  EXPECT_EQ(translated[1].Args[0], "frmOpProgress");
  EXPECT_TRUE(Runner->LiveForms("frmDeviceList").empty());
  EXPECT_TRUE(Runner->LiveForms("frmOpProgress").empty());
  // The device list's OnCreate added the host's standard controls.
  EXPECT_EQ(Runner->CallsOf("CreateStdControls").size(), 1u);
}

TEST_F(DialogWithPlugin, FormCreateWithNilReloadsTheTreeFromTheRestoredText) {
  Open();
  Component("lblParams").Set("Caption", TValue::Of(kOnEvent));
  Runner->Call("FormCreate", {TValue()});
  EXPECT_EQ(Runner->CallsOf("LoadPluginConfigForm").size(), 1u);
  EXPECT_EQ(Runner->CallsOf("CreateVirtualParamTreeview").size(), 1u);
  EXPECT_EQ(Runner->CallsOf("InitPluginConfigForm").size(), 1u);
  EXPECT_EQ(Runner->Tree()->Get("Text").AsText(), kOnEvent);
}

// The host may call FormCreate with nil instead of with the form: there is
// no tree then, and the persisted properties are loaded without one.
TEST_F(DialogWithPlugin, FormCreateWithNilAloneLoadsTheSettingsWithoutATree) {
  Runner->BuildForm();
  Component("lblParams").Set("Caption", TValue::Of(kOnEvent));
  EXPECT_NO_THROW(Runner->Call("FormCreate", {TValue()}));
  EXPECT_EQ(Runner->CallsOf("LoadPluginConfigForm").size(), 1u);
  EXPECT_TRUE(Runner->CallsOf("CreateVirtualParamTreeview").empty());
  EXPECT_FALSE(Runner->Tree());
  EXPECT_EQ(Caption("lblParams"), kOnEvent);
}

TEST_F(DialogWithPlugin, ThePopUpAddsTheThreeSearchItemsOnce) {
  Open();
  TObject& popup = Component("VirtualTreePopup");
  ASSERT_TRUE(Runner->Fire(popup, "OnPopup"));
  ASSERT_TRUE(Runner->Fire(popup, "OnPopup"));
  EXPECT_EQ(Runner->CallsOf("propTree.PopupMenuPopup").size(), 2u);
  EXPECT_EQ(Runner->CallsOf("AddMenuSep").size(), 1u);
  EXPECT_EQ(Runner->CallsOf("AddMenuItem").size(), 3u);
  const auto items = SearchItems();
  ASSERT_EQ(items.size(), 3u);
  const std::string search = Caption("MsgSearchDevices");
  EXPECT_EQ(items[0]->Get("Caption").AsText(), search + " (" + Caption("MsgSelRange2") + ")");
  EXPECT_EQ(items[1]->Get("Caption").AsText(), search + " (" + Caption("MsgSelRange3") + ")");
  EXPECT_EQ(items[2]->Get("Caption").AsText(),
            search + " (" + Caption("MsgSelRange3") + ", " + Caption("MsgSelRange") + ")");
  for (std::size_t i = 0; i < items.size(); ++i)
    EXPECT_EQ(items[i]->Get("Tag").AsInt(), static_cast<std::int64_t>(i + 1));
  EXPECT_EQ(Component("panParamTreeview").Get("Tag").AsInt(), 1);
}

TEST_F(DialogWithPlugin, OkStoresTheTreeTextWhichTheModuleLoadsAsItsConfiguration) {
  Open();
  Runner->Tree()->Set("Text", TValue::Of(kOnEvent));  // what the user edited
  ASSERT_TRUE(Runner->Fire(Component("btnOK"), "OnClick"));
  EXPECT_EQ(Runner->CallsOf("propTree.CancelEdit").size(), 1u);
  EXPECT_FALSE(Runner->Form().Get("Visible").AsBool());
  ASSERT_EQ(Caption("lblParams"), kOnEvent);

  // The host persists lblParams as "Parser config"; a module loaded from
  // those settings runs the request the dialog produced.
  {
    std::ofstream ini(Options.IniFile);
    ini << "[Common]\r\nParser config=" << Caption("lblParams") << "\r\n";
  }
  Runner.reset();
  Host->Unload();
  Host = OpenPlugin();
  TkorParamsList state;
  state.Add("DATA-SOURCES-IN-CFG", OleVariant("3;COM3;Port 3\r\n"));
  state.Add("RESULT", OleVariant(1));
  Host->Record().Mode = 0x03;
  ASSERT_EQ(Host->Command("SET-STATE", state), 0);
  Host->Record().Mode = 0;
  TkorParamsList event;
  event.Add("EVENT-TYPE", OleVariant("READ-NOW"));
  ASSERT_EQ(Host->Command("EVENT", event), 0);
  const std::string expected = "Device address: 7. Request #1. Request timeout";
  bool seen = false;
  for (unsigned waited = 0; waited < 10000 && !seen; waited += 50) {
    Host->Pump(50);
    Host->FetchLog();
    seen = Host->LogText().find(expected) != std::string::npos;
  }
  EXPECT_TRUE(seen) << Host->LogText();
}

TEST_F(DialogWithPlugin, CancelHidesTheFormAndKeepsTheStoredText) {
  Open(kOnEvent);
  Runner->Tree()->Set("Text", TValue::Of(std::string("<MBUS></MBUS>")));
  ASSERT_TRUE(Runner->Fire(Component("btnCancel"), "OnClick"));
  EXPECT_FALSE(Runner->Form().Get("Visible").AsBool());
  EXPECT_EQ(Caption("lblParams"), kOnEvent);
}

// The found-device list shown, three rows with the second unchecked: the
// module turns rows 0 and 2 into request entries appended to the tree.
TEST_F(DialogWithPlugin, CheckedRowsOfTheDeviceListBecomeRequestsAppendedToTheTree) {
  Open("<MBUS></MBUS>");
  std::string shownRows;
  Runner->OnShowModal = [&](TObject& form) {
    TObject& rows = *form.FindComponent("lvDevices")->Get("Items").Object;
    for (const TObjectRef& row : rows.Items) shownRows += row->Get("Caption").AsText() + ";";
    rows.Items.at(1)->Set("Checked", TValue::Of(false));
    return kMrOk;
  };
  Runner->Call("ShowDeviceList", {TValue::Of(std::string("11\r\n12\r\n13"))});
  EXPECT_EQ(shownRows, "11;12;13;");
  const auto events = Runner->CallsOf("CallEvent");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Args[0], "SearchDevicesGetXml");
  EXPECT_EQ(events[0].Args[1], "[11\r\n12\r\n13, 0\r\n2, 10000, 0]");
  const auto appended = Runner->CallsOf("propTree.Append");
  ASSERT_EQ(appended.size(), 1u);
  const std::string& fragment = appended[0].Args[0];
  // The module's fragment: one request for the checked addresses.
  EXPECT_NE(fragment.find("<Request><Enabled checked=\"2\" /><Device>11;13</Device>"),
            std::string::npos)
      << fragment;
  EXPECT_NE(fragment.find("<PollInterval>10000</PollInterval><PollUnits>MS</PollUnits>"),
            std::string::npos)
      << fragment;
  const std::size_t open = fragment.find("<Request>");
  const std::size_t close = fragment.rfind("</Request>");
  ASSERT_NE(open, std::string::npos);
  ASSERT_NE(close, std::string::npos);
  ASSERT_TRUE(Runner->Fire(Component("btnOK"), "OnClick"));
  // The tree writes the check states as it writes all of them ("check").
  std::string request = fragment.substr(open, close + 10 - open);
  for (const char* flag : {"<Enabled", "<FirstFrame", "<ReadOnlyNew"}) {
    const std::size_t at = request.find(std::string(flag) + " checked=");
    ASSERT_NE(at, std::string::npos) << flag;
    request.erase(at + std::string(flag).size() + 6, 2);
  }
  EXPECT_EQ(Caption("lblParams"), "<MBUS>" + request + "</MBUS>");
  EXPECT_TRUE(Runner->LiveForms("frmDeviceList").empty());
}

TEST_F(DialogWithPlugin, ADeviceListLeftWithCancelOrNothingCheckedAddsNothing) {
  Open();
  Runner->OnShowModal = [](TObject&) { return kMrCancel; };
  Runner->Call("ShowDeviceList", {TValue::Of(std::string("1\r\n2"))});
  Runner->OnShowModal = [](TObject& form) {
    for (const TObjectRef& row : form.FindComponent("lvDevices")->Get("Items").Object->Items)
      row->Set("Checked", TValue::Of(false));
    return kMrOk;
  };
  Runner->Call("ShowDeviceList", {TValue::Of(std::string("1\r\n2"))});
  EXPECT_TRUE(Runner->CallsOf("CallEvent").empty());
  EXPECT_TRUE(Runner->CallsOf("propTree.Append").empty());
  EXPECT_TRUE(Runner->LiveForms("frmDeviceList").empty());
}

// ---------------------------------------------- with the plug-in's search

// The dialog with the plug-in whose data source is a simulated segment with
// three meters (primary 1, 2, 3; identification numbers 10000001 to
// 10000003). The segment answers at once, so the search's waits for
// silence are cut to kSilenceMs through the module's Custom parameters.
// Full secondary scans are cancelled rather than run to the end: how the
// library walks the mask beyond the identification number is not what
// these tests are about.
class DialogOnSegment : public acquisition::AcquisitionTest, public DialogParts {
 protected:
  static constexpr int kSilenceMs = 100;

  void SetUp() override {
    Rig = std::make_unique<acquisition::TAcquisitionRig>(Folder);
    if (WithSource) {
      const auto segment = Rig->AddSource("segment");
      for (int primary = 1; primary <= 3; ++primary)
        segment->AddSlave(acquisition::Meter(primary, kFirstId + primary, 10u * primary));
    }
    Rig->Configure("<MBUS></MBUS>");
    Rig->Load();
    SetModuleParameter("Custom_SearchIdleMs", kSilenceMs);
    SetModuleParameter("Custom_SearchTotalMs", 10 * kSilenceMs);
    Rig->Start();
    Runner = MakeRunner();
    Runner->OnEvent = dialogrun::PluginEvents(Rig->Host());
    Runner->CreateForm();
  }
  void TearDown() override {
    Runner.reset();
    Rig.reset();
  }
  void SetModuleParameter(const std::string& name, int value) {
    TkorParamsList params;
    params.Add("PARAM", OleVariant(name));
    params.Add("VALUE", OleVariant(value));
    params.Add("RESULT", OleVariant());
    ASSERT_EQ(Rig->Host().Command("SET-MODULE-PARAMETER", params), 0);
    ASSERT_TRUE(params.GetValue("RESULT").AsBoolean()) << name;
  }
  // Mode 1 over first..last.
  void SearchRange(int first, int last) {
    Runner->OnInput = [=](const std::vector<std::string>&, std::vector<std::string>& values) {
      values = {std::to_string(first), std::to_string(last)};
      return true;
    };
    Search(1);
  }
  // Mode 3 with the typed text.
  void SearchNumber(const std::string& text) {
    Runner->OnInput = [=](const std::vector<std::string>&, std::vector<std::string>& values) {
      values = {text};
      return true;
    };
    Search(3);
  }
  // Ticks the dialog's timer, the host pumped between ticks, until the
  // timer stays off; check runs after every tick that found it on.
  bool Finish(const std::function<void()>& check = {}) {
    return Rig->PumpUntil([&] {
      const bool ticked = Runner->Tick();
      if (ticked && check) check();
      return !ticked;
    });
  }
  // Cancel on the progress window, then the ticks up to the final status.
  bool CancelAndFinish() {
    const TObjectRef progress = Progress();
    if (!progress || !Runner->Fire(*progress->FindComponent("btnProgressCancel"), "OnClick"))
      return false;
    return Finish();
  }
  // The arguments of every "SearchDevices" the dialog raised.
  std::vector<std::string> Searches() const {
    std::vector<std::string> searches;
    for (const auto& call : Runner->CallsOf("CallEvent"))
      if (call.Args[0] == "SearchDevices") searches.push_back(call.Args[1]);
    return searches;
  }
  std::vector<std::string> EventNames() const {
    std::vector<std::string> names;
    for (const auto& call : Runner->CallsOf("CallEvent")) names.push_back(call.Args[0]);
    return names;
  }

  static constexpr std::uint32_t kFirstId = 0x10000000u;
  bool WithSource = true;
  std::unique_ptr<acquisition::TAcquisitionRig> Rig;
};

TEST_F(DialogOnSegment, Mode1WithLast100SetsTheProgressMaximumTo100) {
  SearchRange(0, 100);
  ASSERT_EQ(Searches(), (std::vector<std::string>{"[1, 0, 100]"}));
  ASSERT_TRUE(Progress());
  EXPECT_EQ(Runner->Global("nProgressMax").AsInt(), 100);
  EXPECT_EQ(Progress()->FindComponent("pbProgress")->Get("Max").AsInt(), 100);
  ASSERT_TRUE(Runner->Tick());
  EXPECT_EQ(Progress()->FindComponent("pbProgress")->Get("Max").AsInt(), 100);
  ASSERT_TRUE(CancelAndFinish());
  EXPECT_FALSE(Progress());
}

TEST_F(DialogOnSegment, Modes2And3SetTheProgressMaximumTo40959) {
  Search(2);
  ASSERT_TRUE(Progress());
  EXPECT_EQ(Runner->Global("nProgressMax").AsInt(), 40959);
  ASSERT_TRUE(Runner->Tick());
  EXPECT_EQ(Progress()->FindComponent("pbProgress")->Get("Max").AsInt(), 40959);
  ASSERT_TRUE(CancelAndFinish());
  Search(3);
  ASSERT_TRUE(Progress());
  EXPECT_EQ(Runner->Global("nProgressMax").AsInt(), 40959);
  ASSERT_TRUE(CancelAndFinish());
  EXPECT_EQ(Searches(), (std::vector<std::string>{"[2, 0, 0]", "[3, 4294967295, 4294967295]"}));
}

TEST_F(DialogOnSegment, Mode3SearchesTheTypedHexadecimalAddressOrZero) {
  Search(3);  // the default text "FFFFFFFF"
  ASSERT_TRUE(CancelAndFinish());
  SearchNumber("12G4");
  ASSERT_TRUE(CancelAndFinish());
  EXPECT_EQ(Searches(), (std::vector<std::string>{"[3, 4294967295, 4294967295]", "[3, 0, 0]"}));
  EXPECT_FALSE(Progress());
}

// A typed identification number selects one meter by that number alone
// (manufacturer, version and medium left open): the device list shows its
// secondary address split into the columns, the address column empty.
TEST_F(DialogOnSegment, Mode3WithAnIdentificationNumberListsThatMeter) {
  std::vector<std::string> shown;
  Runner->OnShowModal = [&](TObject& form) {
    for (const TObjectRef& row : form.FindComponent("lvDevices")->Get("Items").Object->Items) {
      std::string text = row->Get("Caption").AsText();
      for (const std::string& field : row->Get("SubItems").Object->Strings) text += "|" + field;
      shown.push_back(text);
    }
    return kMrCancel;
  };
  SearchNumber("10000002");
  // Running statuses of a secondary scan carry texts: a label is shown
  // exactly when it has one.
  ASSERT_TRUE(Finish([&] {
    const TObjectRef progress = Progress();
    if (!progress) return;
    for (const char* name : {"lblProgress2", "lblProgress3"}) {
      const TObject& label = *progress->FindComponent(name);
      EXPECT_EQ(label.Get("Visible").AsBool(), !label.Get("Caption").AsText().empty()) << name;
    }
  }));
  EXPECT_EQ(Searches(), (std::vector<std::string>{"[3, 268435458, 268435458]"}));
  ASSERT_EQ(shown.size(), 1u) << Rig->Log();
  EXPECT_EQ(shown[0].rfind("|10000002|268435458|KAM|1|", 0), 0u) << shown[0];
  EXPECT_FALSE(Progress());
  EXPECT_TRUE(Runner->CallsOf("propTree.Append").empty());  // the list was cancelled
}

// A primary scan reports its position alone until a device answers: the
// three text fields are empty, so only the bar moves and the second and
// third labels stay hidden.
TEST_F(DialogOnSegment, ARunningStatusWithEmptyFieldsHidesTheLabels) {
  SearchRange(10, 12);
  int running = 0;
  ASSERT_TRUE(Finish([&] {
    const TObjectRef progress = Progress();
    if (!progress) return;
    ++running;
    // 0 while the scan sets up, then the address it pings.
    const std::int64_t position = progress->FindComponent("pbProgress")->Get("Position").AsInt();
    EXPECT_TRUE(position == 0 || (position >= 10 && position <= 12)) << position;
    EXPECT_EQ(progress->FindComponent("lblProgress")->Get("Caption").AsText(), "");
    for (const char* name : {"lblProgress2", "lblProgress3"}) {
      const TObject& label = *progress->FindComponent(name);
      EXPECT_EQ(label.Get("Caption").AsText(), "") << name;
      EXPECT_FALSE(label.Get("Visible").AsBool()) << name;
    }
  }));
  EXPECT_GT(running, 0);
}

TEST_F(DialogOnSegment, CancelKeepsTheProgressWindowUntilTheFinalStatus) {
  Search(2);
  ASSERT_TRUE(Progress());
  ASSERT_TRUE(Runner->Fire(*Progress()->FindComponent("btnProgressCancel"), "OnClick"));
  EXPECT_TRUE(Progress());
  EXPECT_TRUE(Runner->Global("ProgressCancelFlag").AsBool());
  // The next tick passes the cancel on; the module returns once the scan
  // has stopped, so the status of the same tick is final.
  ASSERT_TRUE(Runner->Tick());
  EXPECT_EQ(EventNames(), (std::vector<std::string>{"SearchDevices", "SearchDevicesCancel",
                                                    "SearchDevicesStatus"}));
  EXPECT_FALSE(Progress());
  EXPECT_FALSE(Runner->Tick());
  EXPECT_EQ(Runner->Screen().Get("Cursor").AsInt(), dialogrun::kCrDefault);
}

TEST_F(DialogOnSegment, AnEmptyRangeStartsNothingAndShowsNoBox) {
  SearchRange(10, 5);
  EXPECT_FALSE(Progress());
  EXPECT_TRUE(Runner->CallsOf("MessageBoxS").empty());  // MsgFailed is no error key
  EXPECT_EQ(Runner->Form().Get("FrontCount").AsInt(), 1);
  EXPECT_FALSE(Component("CheckSearchProgress").Get("Enabled").AsBool());
}

TEST_F(DialogOnSegment, NothingFoundIsReported) {
  SearchRange(10, 11);
  ASSERT_TRUE(Finish());
  const auto boxes = Runner->CallsOf("MessageBoxS");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Args[1], Caption("MsgNothingFound"));
  EXPECT_EQ(Runner->Global("sSearchId").AsText(), "");
  EXPECT_TRUE(Runner->LiveForms("frmDeviceList").empty());
}

// The whole way: three meters found, the second unchecked, the request for
// the other two appended to the tree, OK stores the tree's text, and a
// module loaded with that text as its configuration reads meters 1 and 3.
TEST_F(DialogOnSegment, ThreeFoundDevicesWithTheSecondUncheckedBecomeTheModulesRequest) {
  std::vector<std::string> shown;
  Runner->OnShowModal = [&](TObject& form) {
    TObject& rows = *form.FindComponent("lvDevices")->Get("Items").Object;
    for (const TObjectRef& row : rows.Items) shown.push_back(row->Get("Caption").AsText());
    if (rows.Items.size() == 3) rows.Items.at(1)->Set("Checked", TValue::Of(false));
    return kMrOk;
  };
  SearchRange(0, 5);
  ASSERT_TRUE(Finish());
  EXPECT_EQ(shown, (std::vector<std::string>{"1", "2", "3"})) << Rig->Log();
  const auto events = Runner->CallsOf("CallEvent");
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().Args[0], "SearchDevicesGetXml");
  EXPECT_EQ(events.back().Args[1], "[1\r\n2\r\n3\r\n, 0\r\n2, 10000, 0]");
  const auto appended = Runner->CallsOf("propTree.Append");
  ASSERT_EQ(appended.size(), 1u);
  EXPECT_NE(appended[0].Args[0].find("<Device>1;3</Device>"), std::string::npos);

  ASSERT_TRUE(Runner->Fire(Component("btnOK"), "OnClick"));
  const std::string stored = Caption("lblParams");
  EXPECT_NE(stored.find("<Device>1;3</Device>"), std::string::npos) << stored;

  Runner.reset();
  Rig.reset();
  Rig = std::make_unique<acquisition::TAcquisitionRig>(Folder);
  const auto segment = Rig->AddSource("segment");
  for (int primary = 1; primary <= 3; ++primary)
    segment->AddSlave(acquisition::Meter(primary, kFirstId + primary, 10u * primary));
  Rig->Configure(stored);
  Rig->Load();
  Rig->Start();
  ASSERT_TRUE(Rig->PumpUntil([&] {
    return !Rig->RowsOf("10000001").empty() && !Rig->RowsOf("10000003").empty();
  })) << stored
      << "\n"
      << Rig->RowCount() << "\n"
      << Rig->Log();
  EXPECT_TRUE(Rig->RowsOf("10000002").empty());
}

class DialogWithoutSource : public DialogOnSegment {
 protected:
  void SetUp() override {
    WithSource = false;
    DialogOnSegment::SetUp();
  }
};

TEST_F(DialogWithoutSource, NoDataSourceIsShownWithItsCaption) {
  Search(2);
  const auto boxes = Runner->CallsOf("MessageBoxS");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Args[1], Caption("MsgNoDsCfg"));
  EXPECT_EQ(boxes[0].Args[3], "16");
  EXPECT_FALSE(Progress());
  EXPECT_EQ(Runner->Form().Get("FrontCount").AsInt(), 1);
}

// --------------------------------- the dialog's search against a script

// A module that answers the search events from a script of answers: the
// dialog's side of the search with answers a segment does not give.
class DialogSearchScript : public ::testing::Test, public DialogParts {
 protected:
  void SetUp() override {
    Runner = MakeRunner();
    Runner->OnEvent = [this](const std::string& name, const std::vector<TValue>& args) {
      std::string text = name;
      for (const TValue& arg : args) text += "|" + arg.AsText();
      Events.push_back(text);
      if (name == "SearchDevicesCancel") return TValue();
      if (Answers.empty()) return TValue();
      TValue answer = TValue::Of(Answers.front());
      Answers.pop_front();
      return answer;
    };
    Runner->CreateForm();
  }

  std::deque<std::string> Answers;
  std::vector<std::string> Events;
};

TEST_F(DialogSearchScript, Mode1AsksForTheRangeAndUsesLastAsTheProgressMaximum) {
  std::vector<std::string> asked;
  Runner->OnInput = [&](const std::vector<std::string>& captions,
                        std::vector<std::string>& values) {
    asked = captions;
    EXPECT_EQ(values, (std::vector<std::string>{"0", "250"}));
    values = {"5", "100"};
    return true;
  };
  Answers = {"S1"};
  Search(1);
  EXPECT_EQ(asked, (std::vector<std::string>{Caption("MsgSelRange"), Caption("MsgSelRange2")}));
  ASSERT_EQ(Events, (std::vector<std::string>{"SearchDevices|1|5|100"}));
  EXPECT_EQ(Runner->Global("nProgressMax").AsInt(), 100);
  EXPECT_EQ(Runner->Global("sSearchId").AsText(), "S1");
  ASSERT_TRUE(Progress());
  EXPECT_EQ(Progress()->FindComponent("pbProgress")->Get("Max").AsInt(), 100);
  EXPECT_EQ(Runner->Screen().Get("Cursor").AsInt(), dialogrun::kCrHourGlass);
  EXPECT_TRUE(Component("CheckSearchProgress").Get("Enabled").AsBool());
}

TEST_F(DialogSearchScript, Modes2And3UseTheSecondaryRangeMaximum) {
  Answers = {"S2"};
  Search(2);
  EXPECT_EQ(Events.at(0), "SearchDevices|2|0|0");
  EXPECT_EQ(Runner->Global("nProgressMax").AsInt(), 40959);
  EXPECT_EQ(Progress()->FindComponent("pbProgress")->Get("Max").AsInt(), 0);  // its last
  // A second click while the window exists only brings it to the front.
  Search(3);
  EXPECT_EQ(Events.size(), 1u);
  EXPECT_EQ(Progress()->Get("FrontCount").AsInt(), 2);
}

TEST_F(DialogSearchScript, Mode3SearchesTheHexadecimalValueOrZero) {
  Runner->OnInput = [](const std::vector<std::string>&, std::vector<std::string>& values) {
    EXPECT_EQ(values.at(0), "FFFFFFFF");
    return true;
  };
  Search(3);
  Runner->OnInput = [](const std::vector<std::string>&, std::vector<std::string>& values) {
    values = {"12G4"};
    return true;
  };
  Search(3);
  Runner->OnInput = [](const std::vector<std::string>&, std::vector<std::string>&) {
    return false;
  };
  Search(3);
  EXPECT_EQ(Events, (std::vector<std::string>{"SearchDevices|3|4294967295|4294967295",
                                              "SearchDevices|3|0|0"}));
  EXPECT_EQ(Runner->Global("nProgressMax").AsInt(), 40959);
  EXPECT_FALSE(Progress());  // empty answers start nothing
}

TEST_F(DialogSearchScript, ARunningStatusShowsPositionAndTextAndHidesEmptyLabels) {
  Answers = {"S", "*5||Scanning||||"};
  Search(2);
  ASSERT_TRUE(Runner->Tick());
  EXPECT_EQ(Events.at(1), "SearchDevicesStatus|S");
  TObject& progress = *Progress();
  EXPECT_EQ(progress.FindComponent("pbProgress")->Get("Max").AsInt(), 40959);
  EXPECT_EQ(progress.FindComponent("pbProgress")->Get("Position").AsInt(), 5);
  EXPECT_EQ(progress.FindComponent("lblProgress")->Get("Caption").AsText(), "Scanning");
  EXPECT_FALSE(progress.FindComponent("lblProgress2")->Get("Visible").AsBool());
  EXPECT_FALSE(progress.FindComponent("lblProgress3")->Get("Visible").AsBool());
  EXPECT_TRUE(Component("CheckSearchProgress").Get("Enabled").AsBool());
}

TEST_F(DialogSearchScript, CancelKeepsTheProgressWindowUntilTheFinalStatus) {
  Answers = {"S", "*1||a||b||c", "*2||a||b||c", ""};
  Search(2);
  TObject& cancel = *Progress()->FindComponent("btnProgressCancel");
  ASSERT_TRUE(Runner->Fire(cancel, "OnClick"));
  EXPECT_FALSE(cancel.Get("Enabled").AsBool());
  EXPECT_TRUE(Runner->Global("ProgressCancelFlag").AsBool());
  // The window refuses to close.
  EXPECT_FALSE(Runner->CloseQuery(*Progress()));
  ASSERT_TRUE(Runner->Tick());
  EXPECT_EQ(Events.at(1), "SearchDevicesCancel|S");
  EXPECT_FALSE(Runner->Global("ProgressCancelFlag").AsBool());
  EXPECT_TRUE(Progress());
  ASSERT_TRUE(Runner->Tick());
  EXPECT_TRUE(Progress());
  ASSERT_TRUE(Runner->Tick());  // the final status: nothing found
  EXPECT_FALSE(Progress());
  EXPECT_FALSE(Runner->Tick());
  EXPECT_EQ(Runner->Global("sSearchId").AsText(), "");
  EXPECT_EQ(Runner->Screen().Get("Cursor").AsInt(), dialogrun::kCrDefault);
  const auto boxes = Runner->CallsOf("MessageBoxS");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Args[1], Caption("MsgNothingFound"));
  EXPECT_EQ(boxes[0].Args[2], Runner->Form().Get("Caption").AsText());
  EXPECT_EQ(boxes[0].Args[3], "64");
}

TEST_F(DialogSearchScript, TheProgressWindowCentresItsButtonAndStacksTheShownLabels) {
  Answers = {"S"};
  Search(2);
  TObject& progress = *Progress();
  TObject& panel = *progress.FindComponent("pBotProgress");
  TObject& button = *progress.FindComponent("btnProgressCancel");
  panel.Set("Width", TValue::Of(400));
  ASSERT_TRUE(Runner->Fire(panel, "OnResize"));
  EXPECT_EQ(button.Get("Left").AsInt(), 162);  // trunc(400 / 2 - 75 / 2)
  progress.FindComponent("lblProgress3")->Set("Visible", TValue::Of(true));
  ASSERT_TRUE(Runner->Fire(progress, "OnResize"));
  EXPECT_EQ(progress.FindComponent("lblProgress")->Get("Top").AsInt(), 0);
  EXPECT_EQ(progress.FindComponent("lblProgress3")->Get("Top").AsInt(), 26);  // 2 is hidden
  EXPECT_EQ(progress.FindComponent("pbProgress")->Get("Top").AsInt(), 52);
  EXPECT_EQ(panel.Get("Top").AsInt(), 52 + 27);
}

TEST_F(DialogSearchScript, TheDeviceListMenuChecksUnchecksAndInvertsTheRows) {
  std::vector<std::string> seen;
  Runner->OnShowModal = [&](TObject& form) {
    TObject& rows = *form.FindComponent("lvDevices")->Get("Items").Object;
    auto checks = [&] {
      std::string text;
      for (const TObjectRef& row : rows.Items) text += row->Get("Checked").AsBool() ? "x" : "-";
      seen.push_back(text);
    };
    Runner->Fire(*form.FindComponent("popUnSelAllValues"), "OnClick");
    checks();
    rows.Items.at(2)->Set("Checked", TValue::Of(true));
    Runner->Fire(*form.FindComponent("popInvAllValues"), "OnClick");
    checks();
    Runner->Fire(*form.FindComponent("popSelAllValues"), "OnClick");
    checks();
    return kMrCancel;
  };
  Runner->Call("ShowDeviceList", {TValue::Of(std::string("1\r\n2\r\n3"))});
  EXPECT_EQ(seen, (std::vector<std::string>{"---", "xx-", "xxx"}));
  EXPECT_TRUE(Events.empty());
}

TEST_F(DialogSearchScript, ErrorKeysShowTheirCaptions) {
  const std::string timeout = Caption("MsgReqTimeout");
  const std::string expectedTimeout = timeout.substr(0, timeout.find('('));
  Answers = {"!MsgNoComm", "!MsgReqTimeout", "!MsgNoDsCfg", "!MsgNotCompat", "!Other"};
  for (int i = 0; i < 5; ++i) Search(2);
  const auto boxes = Runner->CallsOf("MessageBoxS");
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].Args[1], Caption("MsgNoComm"));
  EXPECT_EQ(boxes[1].Args[1], expectedTimeout);
  EXPECT_EQ(boxes[2].Args[1], Caption("MsgNoDsCfg"));
  EXPECT_EQ(boxes[3].Args[1], Caption("MsgNotCompat"));
  for (const auto& box : boxes) EXPECT_EQ(box.Args[3], "16");
  EXPECT_FALSE(Progress());
  EXPECT_EQ(Runner->Form().Get("FrontCount").AsInt(), 5);
}

TEST_F(DialogSearchScript, AFailedStatusShowsMsgFailedAndStopsTheTimer) {
  Answers = {"S", "!x"};
  Search(2);
  ASSERT_TRUE(Runner->Tick());
  EXPECT_FALSE(Progress());
  EXPECT_FALSE(Runner->Tick());
  const auto boxes = Runner->CallsOf("MessageBoxS");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Args[1], Caption("MsgFailed"));
  EXPECT_EQ(Runner->Global("sSearchId").AsText(), "S");
}

TEST_F(DialogSearchScript, ThreeFoundDevicesWithTheSecondUncheckedGiveIndexes0And2) {
  Answers = {"S", "1||A||B\r\n2\r\n3", "<Request>x</Request>"};
  Runner->OnShowModal = [](TObject& form) {
    TObject& rows = *form.FindComponent("lvDevices")->Get("Items").Object;
    EXPECT_EQ(rows.Items.at(0)->Get("SubItems").Object->Strings,
              (std::vector<std::string>{"A", "B", "", "", "", ""}));
    rows.Items.at(1)->Set("Checked", TValue::Of(false));
    return kMrOk;
  };
  Search(2);
  ASSERT_TRUE(Runner->Tick());
  ASSERT_EQ(Events.size(), 3u);
  EXPECT_EQ(Events[2], "SearchDevicesGetXml|1||A||B\r\n2\r\n3|0\r\n2|10000|0");
  EXPECT_EQ(TValue::Of(Runner->Tree()).Object->Strings,
            (std::vector<std::string>{"<Request>x</Request>"}));
}

}  // namespace
