// The options dialog's own sources (dialog/): the script compiles, its tree
// reads as XML with the units inline, it has every routine and state the
// dialog needs, and each form's event handlers are routines of the unit
// that belongs to the form. The forms carry their components and message
// texts.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "params/janXMLTree.h"
#include "tests/scriptc/ScriptTestSupport.h"
#include "tools/formc/FormText.h"

namespace {

const std::string kDialogDir = std::string(KOR_SOURCE_DIR) + "/dialog/";

std::string ReadSource(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string DialogTree() {
  auto reader = [](const std::string& unit, std::string& fileName, std::string& text) {
    fileName = kDialogDir + unit + ".pas";
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
  };
  return script::CompileScript(ReadSource(kDialogDir + "frmOption.pas"), "frmOption.pas", reader);
}

// Names declared directly in a program element: routines, or the idents of
// var or const declarations.
std::set<std::string> Declared(const TjanXMLNode& program, const std::string& kind) {
  std::set<std::string> names;
  for (std::int32_t i = 0; i < program.ChildCount(); ++i) {
    const TjanXMLNode* child = program.Children(i);
    if (kind == "routine" && (child->Name() == "procedure" || child->Name() == "function"))
      names.insert(child->FindChild("name")->GetAttribute("text"));
    if (kind == child->Name() && kind != "routine")
      for (std::int32_t k = 0; k < child->ChildCount(); ++k)
        if (child->Children(k)->Name() == "ident")
          names.insert(child->Children(k)->GetAttribute("text"));
  }
  return names;
}

// The program element of the used unit, or the main program for "".
const TjanXMLNode* UnitProgram(const TjanXMLNode& main, const std::string& unit) {
  if (unit.empty()) return &main;
  for (std::int32_t i = 0; i < main.ChildCount(); ++i) {
    const TjanXMLNode* child = main.Children(i);
    if (child->Name() == "uses" && child->GetAttribute("unit") == unit)
      return child->FindChild("program");
  }
  return nullptr;
}

class DialogScript : public ::testing::Test {
 protected:
  void SetUp() override {
    Text = DialogTree();
    Tree.SetText(Text);
    Main = Tree.FindNode("program");
    ASSERT_NE(Main, nullptr);
  }
  std::string Text;
  TjanXMLTree Tree;
  const TjanXMLNode* Main = nullptr;
};

void ExpectContains(const std::set<std::string>& names, const std::vector<std::string>& wanted) {
  for (const std::string& name : wanted) EXPECT_TRUE(names.count(name)) << name;
}

// Event handlers the form stream names: identifier values of On* properties.
void CollectHandlers(const form::TFormObject& object, std::set<std::string>& handlers) {
  for (const form::TFormProperty& property : object.Properties)
    if (property.Name.rfind("On", 0) == 0 && property.Value.Type == form::TValueType::vaIdent)
      handlers.insert(property.Value.Bytes);
  for (const form::TFormObject& child : object.Children) CollectHandlers(child, handlers);
}

form::TFormObject DialogForm(const std::string& file) {
  return form::ParseFormText(ReadSource(kDialogDir + file));
}

}  // namespace

TEST_F(DialogScript, TheTreeIsOneLineOfXmlWithBothUnitsInline) {
  EXPECT_EQ(Text.rfind("<?xml version=\"1.0\"?><program>", 0), 0u);
  EXPECT_EQ(Text.find_first_of("\r\n"), std::string::npos);
  EXPECT_NE(UnitProgram(*Main, "DeviceList"), nullptr);
  EXPECT_NE(UnitProgram(*Main, "OpProgress"), nullptr);
  EXPECT_EQ(Main->Children(Main->ChildCount() - 1)->Name(), "types");
}

TEST_F(DialogScript, TheMainUnitHasItsRoutinesAndState) {
  ExpectContains(Declared(*Main, "routine"),
                 {"FormCreate", "FormDestroy", "btnOKClick", "btnCancelClick", "DlgTranslate",
                  "CreateDeviceListForm", "CreateOpProgressForm", "treePopup1Popup",
                  "mSearchDevicesClick", "CheckSearchProgressTimer", "CloseProgressForm"});
  ExpectContains(Declared(*Main, "var"),
                 {"frmProgress", "nProgressMax", "sSearchId", "propTree", "panButton"});
  ExpectContains(Declared(*Main, "const"),
                 {"sepII", "PARAM_OPTION_VALUE_SEP", "PARAM_OPTION_LIST_SEP"});
  EXPECT_NE(Text.find("<string text=\"'||'\""), std::string::npos);
  EXPECT_NE(Text.find("<string text=\"'=='\""), std::string::npos);
}

TEST_F(DialogScript, TheUnitsHaveTheirRoutinesAndState) {
  const TjanXMLNode* progress = UnitProgram(*Main, "OpProgress");
  const TjanXMLNode* devices = UnitProgram(*Main, "DeviceList");
  ASSERT_NE(progress, nullptr);
  ASSERT_NE(devices, nullptr);
  ExpectContains(Declared(*progress, "routine"),
                 {"ProgressFormCreate", "ProgressFormCloseQuery", "btnProgressCancelClick",
                  "pBotProgressResize", "FormResize"});
  ExpectContains(Declared(*progress, "var"), {"ProgressCancelFlag"});
  ExpectContains(Declared(*devices, "routine"),
                 {"StrToList", "ListChecksToStr", "DevListFormCreate", "popSelAllValuesClick",
                  "popInvAllValuesClick"});
  ExpectContains(Declared(*devices, "const"), {"sepII"});
}

TEST_F(DialogScript, TheScriptRaisesTheFourSearchEvents) {
  for (const char* event :
       {"SearchDevices", "SearchDevicesStatus", "SearchDevicesCancel", "SearchDevicesGetXml"})
    EXPECT_NE(Text.find(std::string("<string text=\"'") + event + "'\""), std::string::npos)
        << event;
}

TEST_F(DialogScript, EveryEventHandlerOfAFormIsARoutineOfItsUnit) {
  const struct {
    const char* File;
    const char* Unit;
    std::size_t Handlers;
  } forms[] = {{"frmOption.form", "", 3},
               {"frmDeviceList.form", "DeviceList", 3},
               {"frmOpProgress.form", "OpProgress", 5}};
  for (const auto& f : forms) {
    std::set<std::string> handlers;
    CollectHandlers(DialogForm(f.File), handlers);
    EXPECT_EQ(handlers.size(), f.Handlers) << f.File;
    const TjanXMLNode* unit = UnitProgram(*Main, f.Unit);
    ASSERT_NE(unit, nullptr) << f.File;
    const std::set<std::string> routines = Declared(*unit, "routine");
    for (const std::string& handler : handlers)
      EXPECT_TRUE(routines.count(handler)) << f.File << ": " << handler;
  }
}

TEST(DialogForms, TheOptionsFormCarriesItsMessageItemsInOrder) {
  const form::TFormObject root = DialogForm("frmOption.form");
  EXPECT_EQ(root.ClassName, "TfrmOption");
  EXPECT_EQ(root.Name, "frmOption");
  const form::TFormObject* first = root.FindComponent("tmpMenu");
  const form::TFormObject* second = root.FindComponent("tmpMenuReqMethod");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(first->Children.size(), 19u);
  ASSERT_EQ(second->Children.size(), 18u);
  EXPECT_EQ(first->Children.front().Name, "MsgSendReq");
  EXPECT_EQ(first->Children.back().Name, "MsgNothingFound");
  EXPECT_EQ(second->Children.front().Name, "MsgReqTimeout");
  EXPECT_EQ(second->Children.back().Name, "PollUnitList");
  const form::TFormObject* timeout = root.FindComponent("MsgReqTimeout");
  const form::TFormProperty* caption = timeout->FindProperty("Caption");
  ASSERT_NE(caption, nullptr);
  EXPECT_EQ(caption->Value.Wide, u"Request timeout (ms)");
  const form::TFormObject* noCaption = root.FindComponent("MemoryTypeList");
  EXPECT_EQ(noCaption->FindProperty("Caption"), nullptr);
  EXPECT_EQ(noCaption->FindProperty("Tag")->Value.Int, 9999);
}

TEST(DialogForms, EachFormHasTheComponentsTheScriptUses) {
  const struct {
    const char* File;
    std::vector<const char*> Components;
  } forms[] = {
      {"frmOption.form",
       {"__pBot", "pan2", "lblParams", "Label1", "spMinInt", "pan1", "CheckSearchProgress",
        "MsgEmptyAll", "TxtHour"}},
      {"frmDeviceList.form",
       {"__pBotDevList", "panDevList1", "lblInterval", "spInterval", "comboIntType", "lvDevices",
        "popDevices", "popSelAllValues", "popUnSelAllValues", "popInvAllValues"}},
      {"frmOpProgress.form",
       {"lblProgress", "lblProgress2", "lblProgress3", "pbProgress", "pBotProgress", "prgBevel",
        "btnProgressCancel"}},
  };
  for (const auto& f : forms) {
    const form::TFormObject root = DialogForm(f.File);
    for (const char* name : f.Components) {
      const form::TFormObject* component = root.FindComponent(name);
      ASSERT_NE(component, nullptr) << f.File << ": " << name;
      EXPECT_EQ(component->Name, name) << f.File;
    }
  }
}
