// The plug-in module's readers of host text: parser-item lines, plug-in
// command lines, the configured data sources, language files and module
// parameter names. The first byte picks the reader, the rest is the text.
// Nothing may crash or leak, and what a reader accepts must survive its own
// text form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "params/korParamLstWrap.h"
#include "plugin/korPluginCustomCmd.h"
#include "plugin/korPluginModule.h"
#include "plugin/korPluginParserItems.h"
#include "plugin/korPluginTranslator.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void ParserItems(const std::string& text) {
  TParserItemList items = ParserItemsFromText(text);
  std::string form = ParserItemsToText(items);
  TParserItemList again = ParserItemsFromText(form);
  // Names and captions holding "|" or line breaks cannot come from a parse.
  Require(ParserItemsToText(again) == form);
}

void CustomCommands(const std::string& text) {
  TkorPluginCustomCmdList list;
  list.FromText(text);
  TkorPluginCustomCmdList again;
  again.FromText(list.AsText());
  Require(again.Count() == list.Count());
  Require(again.AsText() == list.AsText());
}

void DataSources(const std::string& text) {
  TObjectList into(true);
  ReadDataSourcesInCfg(text, into, [](const std::string&, const std::exception&) {});
  for (std::int32_t i = 0; i < into.Count(); ++i)
    Require(static_cast<TConfigDataSource*>(into.Items(i))->Id != -1);
}

void LanguageFile(const std::string& text) {
  TLanguageFile file = ParseLanguageFile(text);
  for (const auto& pair : file.Pairs) Require(!pair.first.empty());
}

// "name\0value": SET- then GET-MODULE-PARAMETER through a real call.
void ModuleParameter(const std::string& text) {
  static TkorPlugin* module = new TkorPlugin();
  std::size_t cut = text.find('\0');
  std::string name = text.substr(0, cut);
  std::string value = cut == std::string::npos ? std::string() : text.substr(cut + 1);
  auto* wrap = new TkorParamsListWrap(nullptr, false);
  kor::TPluginCallRec rec{};
  rec.Size = kor::kCallRecSize;
  rec.Params = reinterpret_cast<kor::TPluginPtr>(wrap->PinA());
  wrap->List()->SetValue("PARAM", OleVariant(name), true);
  wrap->List()->SetValue("VALUE", OleVariant(value), true);
  wrap->List()->SetValue("RESULT", OleVariant(), true);
  Require(module->ExecuteCommand("SET-MODULE-PARAMETER", &rec) != -2);
  Require(module->ExecuteCommand("GET-MODULE-PARAMETER", &rec) != -2);
  module->FetchLog(nullptr, 0);
  wrap->Free();
  // Keep the free-form parameters and items from growing without bound.
  module->ModuleParamsList().LockWrite()->Clear();
  module->ModuleParamsList().UnlockWrite();
  module->ClearParserItems();
  module->CustomCommands->Clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 5) {
    case 0:
      ParserItems(text);
      break;
    case 1:
      CustomCommands(text);
      break;
    case 2:
      DataSources(text);
      break;
    case 3:
      LanguageFile(text);
      break;
    default:
      ModuleParameter(text);
      break;
  }
  return 0;
}
