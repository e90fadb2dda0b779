// TCustomTextResources: the base of the components that hold a module's own
// message texts (log lines, progress reports). A descendant registers each
// of its texts; the user-interface translator recognises the component by
// its Tag (kTextResourcesTag) and calls TranslateTexts, which replaces each
// registered text by its translation once per component lifetime.
//
// Threads: texts are registered by the constructor of the descendant and
// replaced by TranslateTexts (the thread that translates the module); any
// thread may read them. FLock guards the texts: readers get a copy under
// the shared lock, TranslateTexts stores each translation under the
// exclusive one, so a worker never sees a text half-replaced.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Component.h"

// What the translator lends to text resources: the translation of one
// UTF-16 text for a language list, or the text itself when there is none.
// May raise.
class ITextTranslator {
 public:
  virtual std::u16string TranslateText(std::u16string_view text, const std::string& languages) = 0;

 protected:
  ~ITextTranslator() = default;
};

// Component tags the translator honours.
inline constexpr std::int32_t kTagNotTranslated = 9999;       // neither it nor its children
inline constexpr std::int32_t kTagChildrenTranslated = 9998;  // only its children
inline constexpr std::int32_t kTextResourcesTag = 9997;       // through TranslateTexts

class TCustomTextResources : public TComponent {
 public:
  explicit TCustomTextResources(TComponent* owner = nullptr);
  ~TCustomTextResources() override;

  // Translates every registered text once: later calls do nothing. A text
  // whose translation fails keeps its old text and the loop goes on.
  virtual void TranslateTexts(ITextTranslator& translator, const std::string& languages);
  bool TextsTranslated() const { return FTranslated.load(); }

  std::size_t TextCount() const;
  // The current text of a registered field (a copy; any thread).
  std::string Text(std::size_t id) const;

  // Replaces the one "%s" of format by argument; a text without it comes
  // back unchanged. Other "%" characters are kept as they are.
  static std::string FormatText(std::string_view format, std::string_view argument);

 protected:
  // Registers an 8-bit text for translation; the id reads it back.
  std::size_t RegisterText(std::string text);

 private:
  mutable std::shared_mutex FLock;
  std::vector<std::string> FTexts;  // guarded by FLock
  std::atomic<bool> FTranslated{false};
};
