// Translating a component tree: text resources through their registered
// adapter, the tags that stop the walk, and names starting with "__".
#include <gtest/gtest.h>

#include <string>

#include "ModuleTestSupport.h"
#include "params/PluginDM_TextResources.h"
#include "plugin/korTranslatorAdapters.h"

namespace {

const char* kGerman =
    "LANGUAGE=DE\r\n"
    "Found=Gefunden\r\n"
    "Collision at address=Kollision bei Adresse\r\n"
    "Caption=Titel\r\n";

// A component with one translatable text property, "Caption".
class TCaptioned : public TComponent, public ITranslatable {
 public:
  explicit TCaptioned(TComponent* owner) : TComponent(owner) {}
  bool GetTextProperty(std::string_view name, std::string& value) const override {
    if (name != "Caption") return false;
    value = Caption;
    return true;
  }
  bool SetTextProperty(std::string_view name, const std::string& value) override {
    if (name != "Caption") return false;
    Caption = value;
    return true;
  }
  std::string Caption = "Caption";
};

struct TTranslatorFixture : ::testing::Test {
  TTranslatorFixture() {
    host.Files["/opt/host/plugins/mbusplugin.lng"] = kGerman;
    translator.AddProperty("Caption");
    translator.SetLanguageFiles("/opt/host/plugins/mbusplugin.lng");
  }
  TFakeHost host;
  TWtransl translator;
};

}  // namespace

TEST_F(TTranslatorFixture, TextResourcesAreTranslatedThroughTheirAdapterOnce) {
  TComponent module(nullptr);
  auto* texts = new TTextResources(&module);
  TranslateComponentTree(module, translator, "DE");
  EXPECT_EQ(texts->MsgFound(), "Gefunden");
  EXPECT_EQ(texts->MsgCollisionAt(), "Kollision bei Adresse");
  EXPECT_EQ(texts->MsgDeviceAddress(), "Device address");  // no pair: unchanged
  // A second run (say back to English) leaves the texts of the first.
  TranslateComponentTree(module, translator, "EN");
  EXPECT_EQ(texts->MsgFound(), "Gefunden");
}

TEST_F(TTranslatorFixture, TagsAndNamesDecideWhatIsWalked) {
  TComponent module(nullptr);
  auto* plain = new TCaptioned(&module);
  auto* hidden = new TCaptioned(&module);
  hidden->Tag = kTagNotTranslated;
  auto* hiddenChild = new TCaptioned(hidden);
  auto* container = new TCaptioned(&module);
  container->Tag = kTagChildrenTranslated;
  auto* containerChild = new TCaptioned(container);
  auto* internal = new TCaptioned(&module);
  internal->Name = "__internal";
  auto* descendantTexts = new TTextResources(container);
  TranslateComponentTree(module, translator, "DE");
  EXPECT_EQ(plain->Caption, "Titel");
  EXPECT_EQ(hidden->Caption, "Caption");
  EXPECT_EQ(hiddenChild->Caption, "Caption");
  EXPECT_EQ(container->Caption, "Caption");
  EXPECT_EQ(containerChild->Caption, "Titel");
  EXPECT_EQ(internal->Caption, "Caption");
  EXPECT_EQ(descendantTexts->MsgFound(), "Gefunden");
}

TEST_F(TTranslatorFixture, TextResourcesWithAnotherTagAreNotTranslatedByTheAdapter) {
  TTextResources texts;
  texts.Tag = 0;
  TranslateComponentTree(texts, translator, "DE");
  EXPECT_EQ(texts.MsgFound(), "Found");
  EXPECT_FALSE(texts.TextsTranslated());
}
