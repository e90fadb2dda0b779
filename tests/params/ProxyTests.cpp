#include <gtest/gtest.h>

#include <map>
#include <string>

#include "params/CfgOptionsProxy.h"

namespace {

// What a settings store does: every published property as text, by name.
std::map<std::string, std::string> Save(const TProxyCodeCustomObject& proxy) {
  std::map<std::string, std::string> stored;
  for (const TProxyPropertyInfo& info : proxy.Properties())
    stored[info.Name] = info.Get(proxy).AsAnsiString();
  return stored;
}

void Load(TProxyCodeCustomObject& proxy, const std::map<std::string, std::string>& stored) {
  for (const auto& [name, text] : stored)
    if (proxy.FindProperty(name) != nullptr) proxy.SetPropertyValue(name, OleVariant(text));
}

}  // namespace

TEST(ConfigProxy, Defaults) {
  TProxyCodeObject proxy(nullptr);
  EXPECT_EQ(proxy.Left, 326);
  EXPECT_EQ(proxy.Top, 144);
  EXPECT_EQ(proxy.Height, 435);
  EXPECT_EQ(proxy.Width, 481);
  EXPECT_EQ(proxy.lblParams_Caption, "");
  EXPECT_EQ(proxy.OpenDialog_FileName, "");
  EXPECT_EQ(proxy.SaveDialog_FileName, "");
  EXPECT_EQ(proxy.spMinInt_Value, 0.0);
}

TEST(ConfigProxy, PublishedPropertiesInOrderWithTheirTypes) {
  TDataSourceCfg cfg(nullptr);
  const char* names[] = {"Left",
                         "Top",
                         "Height",
                         "Width",
                         "lblParams_Caption",
                         "OpenDialog_FileName",
                         "SaveDialog_FileName",
                         "spMinInt_Value"};
  const char* types[] = {"integer", "integer", "integer", "integer",
                         "string",  "string",  "string",  "double"};
  ASSERT_EQ(cfg.Properties().size(), 8u);
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_STREQ(cfg.Properties()[i].Name, names[i]);
    EXPECT_STREQ(ProxyPropertyTypeName(cfg.Properties()[i].Type), types[i]);
  }
  EXPECT_EQ(cfg.GetPropertyValue("Left").VType(), plat::varInteger);
  EXPECT_EQ(cfg.GetPropertyValue("spMinInt_Value").VType(), plat::varDouble);
  EXPECT_EQ(cfg.GetPropertyValue("lblParams_Caption").VType(), plat::varOleStr);
}

TEST(ConfigProxy, AccessByName) {
  TDataSourceCfg cfg(nullptr);
  cfg.SetPropertyValue("lblparams_caption", OleVariant("<MBUS/>"));  // any letter case
  EXPECT_EQ(cfg.lblParams_Caption, "<MBUS/>");
  cfg.SetPropertyValue("Width", OleVariant("600"));  // converted to the property's type
  EXPECT_EQ(cfg.Width, 600);
  cfg.SetPropertyValue("spMinInt_Value", OleVariant(std::int32_t(250)));
  EXPECT_EQ(cfg.spMinInt_Value, 250.0);
  cfg.Top = -5;
  EXPECT_EQ(cfg.GetPropertyValue("TOP").AsInteger(), -5);
  EXPECT_EQ(cfg.FindProperty("Caption"), nullptr);
  EXPECT_EQ(cfg.FindProperty("Left "), nullptr);
  try {
    cfg.GetPropertyValue("lblParams.Caption");
    FAIL() << "no error";
  } catch (const EPropertyError& e) {
    EXPECT_STREQ(e.what(), "Property lblParams.Caption does not exist");
  }
  EXPECT_THROW(cfg.SetPropertyValue("Left", OleVariant("wide")), EVariantError);
  EXPECT_EQ(cfg.Left, 326);  // a refused value changes nothing
}

TEST(ConfigProxy, SavedAndLoadedAgain) {
  TDataSourceCfg fresh(nullptr);
  const auto stored = Save(fresh);
  TDataSourceCfg loaded(nullptr);
  loaded.Left = 1;
  loaded.lblParams_Caption = "old";
  Load(loaded, stored);
  EXPECT_EQ(loaded.Left, 326);
  EXPECT_EQ(loaded.Top, 144);
  EXPECT_EQ(loaded.Height, 435);
  EXPECT_EQ(loaded.Width, 481);
  EXPECT_EQ(loaded.lblParams_Caption, "");

  loaded.spMinInt_Value = 1500.5;
  loaded.SaveDialog_FileName =
      "C:\\Daten\\M\xFC"
      "nchen.xml";
  auto changed = Save(loaded);
  changed["NoSuchControl_Value"] = "7";  // entries without a property are skipped
  TDataSourceCfg again(nullptr);
  Load(again, changed);
  EXPECT_EQ(again.spMinInt_Value, 1500.5);
  EXPECT_EQ(again.SaveDialog_FileName, loaded.SaveDialog_FileName);
}

TEST(ConfigProxy, OwnedByItsComponentAndAssignsNothing) {
  TComponent module(nullptr);
  auto* cfg = new TDataSourceCfg(&module);
  EXPECT_EQ(cfg->Owner(), &module);
  ASSERT_EQ(module.ComponentCount(), 1);
  EXPECT_EQ(module.Components(0), cfg);
  TProxyCodeObject other(nullptr);
  other.Left = 9;
  cfg->AssignTo(&other);
  EXPECT_EQ(other.Left, 9);
  delete cfg;  // unlinks itself from its owner
  EXPECT_EQ(module.ComponentCount(), 0);
  new TDataSourceCfg(&module);  // freed with the module (checked by the sanitizers)
  EXPECT_EQ(module.ComponentCount(), 1);
  TProxyCodeCustomObject marker(nullptr);
  EXPECT_TRUE(marker.Properties().empty());
}
