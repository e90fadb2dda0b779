// Translating a tree of components: the tag rules and the adapters through
// which the translator handles classes that keep their texts in their own
// way (text resources). The adapter TWtranslatorCustomTextResources, for
// TCustomTextResources and every descendant (pattern "*"), is registered
// when the library starts.
//
// Thread: the thread that translates the module; registration at start-up.
// The adapter list has its own lock.
#pragma once

#include <memory>
#include <string>

#include "framework/Component.h"
#include "plugin/korPluginTranslator.h"

class TWtranslatorAdapter {
 public:
  virtual ~TWtranslatorAdapter() = default;
  // True for the components this adapter translates.
  virtual bool Handles(const TComponent& component) const = 0;
  virtual void Translate(TComponent& component, TWtransl& translator,
                         const std::string& languages) = 0;
  std::string Pattern = "*";  // the texts it applies to: all
};

// Calls TranslateTexts of a text-resources component with the translator's
// lookup for the language list.
class TWtranslatorCustomTextResources : public TWtranslatorAdapter {
 public:
  bool Handles(const TComponent& component) const override;
  void Translate(TComponent& component, TWtransl& translator,
                 const std::string& languages) override;
};

// Adds an adapter; later registrations are asked first.
void RegisterTranslatorAdapter(std::shared_ptr<TWtranslatorAdapter> adapter);

// Translates root and the components it owns, depth first:
// - a component whose Name starts with "__" is skipped with its children;
// - Tag 9999: skipped with its children; Tag 9998: only its children;
// - Tag 9997: translated by the first adapter that handles it;
// - otherwise, when it is ITranslatable, its text properties
//   (TWtransl::Translate with language and baseLanguage).
// An error while translating one component is swallowed; the walk goes on.
void TranslateComponentTree(TComponent& root, TWtransl& translator, const std::string& language,
                            const std::string& baseLanguage = "EN");
