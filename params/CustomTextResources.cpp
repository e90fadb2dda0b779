#include "params/CustomTextResources.h"

#include <mutex>

#include "platform/Text.h"

TCustomTextResources::TCustomTextResources(TComponent* owner) : TComponent(owner) {
  Tag = kTextResourcesTag;
}

TCustomTextResources::~TCustomTextResources() {
  std::unique_lock lock(FLock);
  FTexts.clear();
}

std::size_t TCustomTextResources::RegisterText(std::string text) {
  std::unique_lock lock(FLock);
  FTexts.push_back(std::move(text));
  return FTexts.size() - 1;
}

std::size_t TCustomTextResources::TextCount() const {
  std::shared_lock lock(FLock);
  return FTexts.size();
}

std::string TCustomTextResources::Text(std::size_t id) const {
  std::shared_lock lock(FLock);
  return id < FTexts.size() ? FTexts[id] : std::string();
}

void TCustomTextResources::TranslateTexts(ITextTranslator& translator,
                                          const std::string& languages) {
  if (FTranslated.exchange(true)) return;
  const std::size_t count = TextCount();
  for (std::size_t id = 0; id < count; ++id) {
    try {
      const std::string translated =
          plat::WideToAnsi(translator.TranslateText(plat::AnsiToWide(Text(id)), languages));
      std::unique_lock lock(FLock);
      FTexts[id] = translated;
    } catch (...) {
      // This text stays as it was; the others are still translated.
    }
  }
}

std::string TCustomTextResources::FormatText(std::string_view format, std::string_view argument) {
  const std::size_t at = format.find("%s");
  if (at == std::string_view::npos) return std::string(format);
  std::string out(format.substr(0, at));
  out.append(argument);
  out.append(format.substr(at + 2));
  return out;
}
