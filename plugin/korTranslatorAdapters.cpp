#include "plugin/korTranslatorAdapters.h"

#include <mutex>
#include <vector>

#include "params/CustomTextResources.h"
#include "platform/Text.h"

namespace {

// The translator's lookup as the text resources ask for it.
class TTranslatorLookup : public ITextTranslator {
 public:
  explicit TTranslatorLookup(const TWtransl& translator) : FTranslator(translator) {}
  std::u16string TranslateText(std::u16string_view text, const std::string& languages) override {
    return plat::AnsiToWide(FTranslator.TranslateText(plat::WideToAnsi(text), languages));
  }

 private:
  const TWtransl& FTranslator;
};

struct TAdapterList {
  std::mutex Lock;
  std::vector<std::shared_ptr<TWtranslatorAdapter>> Adapters;  // newest first
};

TAdapterList& Adapters() {
  static TAdapterList list{{}, {std::make_shared<TWtranslatorCustomTextResources>()}};
  return list;
}

std::shared_ptr<TWtranslatorAdapter> AdapterFor(const TComponent& component) {
  TAdapterList& list = Adapters();
  std::lock_guard<std::mutex> lock(list.Lock);
  for (const auto& adapter : list.Adapters)
    if (adapter->Handles(component)) return adapter;
  return nullptr;
}

void TranslateOne(TComponent& component, TWtransl& translator, const std::string& language,
                  const std::string& baseLanguage) {
  if (component.Tag == kTextResourcesTag) {
    if (auto adapter = AdapterFor(component)) adapter->Translate(component, translator, language);
    return;
  }
  if (auto* translatable = dynamic_cast<ITranslatable*>(&component))
    translator.Translate(*translatable, language, baseLanguage);
}

}  // namespace

bool TWtranslatorCustomTextResources::Handles(const TComponent& component) const {
  return dynamic_cast<const TCustomTextResources*>(&component) != nullptr;
}

void TWtranslatorCustomTextResources::Translate(TComponent& component, TWtransl& translator,
                                                const std::string& languages) {
  TTranslatorLookup lookup(translator);
  static_cast<TCustomTextResources&>(component).TranslateTexts(lookup, languages);
}

void RegisterTranslatorAdapter(std::shared_ptr<TWtranslatorAdapter> adapter) {
  if (!adapter) return;
  TAdapterList& list = Adapters();
  std::lock_guard<std::mutex> lock(list.Lock);
  list.Adapters.insert(list.Adapters.begin(), std::move(adapter));
}

void TranslateComponentTree(TComponent& root, TWtransl& translator, const std::string& language,
                            const std::string& baseLanguage) {
  if (root.Name.rfind("__", 0) == 0 || root.Tag == kTagNotTranslated) return;
  if (root.Tag != kTagChildrenTranslated) {
    try {
      TranslateOne(root, translator, language, baseLanguage);
    } catch (...) {
      // This component keeps its texts; the others are still translated.
    }
  }
  for (std::int32_t i = 0; i < root.ComponentCount(); ++i)
    TranslateComponentTree(*root.Components(i), translator, language, baseLanguage);
}
