#include "plugin/korPluginTranslator.h"

#include "plugin/korPluginEnv.h"
#include "plugin/korPluginText.h"

namespace {

// Undoes "\=", "\n" and "\\"; any other "\x" stays as it is.
std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      char next = text[i + 1];
      if (next == '=' || next == '\\' || next == 'n') {
        out += next == 'n' ? '\n' : next;
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

// Position of the first "=" that no "\" escapes; npos when none.
std::size_t SeparatorOf(std::string_view line) {
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\') {
      ++i;
      continue;
    }
    if (line[i] == '=') return i;
  }
  return std::string_view::npos;
}

}  // namespace

TLanguageFile ParseLanguageFile(std::string_view text) {
  TLanguageFile file;
  for (const std::string& line : plugtext::SplitLines(text)) {
    if (line.empty() || line[0] == ';') continue;
    std::size_t at = SeparatorOf(line);
    if (at == std::string_view::npos || at == 0) continue;
    std::string base = Unescape(std::string_view(line).substr(0, at));
    std::string translated = Unescape(std::string_view(line).substr(at + 1));
    if (base == "LANGUAGE")
      file.Language = translated;
    else
      file.Pairs[base] = translated;
  }
  return file;
}

void TWtransl::SetLanguageFiles(const std::string& files) {
  FFileList = files;
  FFiles.clear();
  if (files.empty()) return;
  for (const std::string& name : plugtext::SplitFields(files, '|')) {
    std::string content;
    if (name.empty() || !PluginEnv().ReadFile(name, content)) continue;
    FFiles.push_back(ParseLanguageFile(content));
  }
}

std::string TWtransl::FileLanguage() const {
  for (auto it = FFiles.rbegin(); it != FFiles.rend(); ++it)
    if (!it->Language.empty()) return it->Language;
  return Language;
}

void TWtransl::AddProperty(const std::string& name) {
  if (name.empty()) return;
  for (const std::string& known : Properties)
    if (known == name) return;
  Properties.push_back(name);
}

std::string TWtransl::PropertiesText() const {
  std::string text;
  for (const std::string& name : Properties) text += name + "\r\n";
  return text;
}

const std::string* TWtransl::Lookup(const std::string& language, const std::string& base) const {
  for (auto it = FFiles.rbegin(); it != FFiles.rend(); ++it) {
    if (!plugtext::SameTextAscii(it->Language, language)) continue;
    auto pair = it->Pairs.find(base);
    if (pair != it->Pairs.end()) return &pair->second;
  }
  return nullptr;
}

void TWtransl::Translate(ITranslatable& component, const std::string& language,
                         const std::string& baseLanguage) {
  std::map<std::string, std::string>& bases = FBaseTexts[&component];
  for (const std::string& name : Properties) {
    std::string current;
    if (!component.GetTextProperty(name, current)) continue;
    auto base = bases.try_emplace(name, current).first->second;
    const std::string* translated =
        plugtext::SameTextAscii(language, baseLanguage) ? nullptr : Lookup(language, base);
    component.SetTextProperty(name, translated ? *translated : base);
  }
}

std::string TWtransl::TranslateText(const std::string& text, const std::string& language) const {
  const std::string* translated = Lookup(language, text);
  return translated ? *translated : text;
}

void TWtransl::Forget(const ITranslatable& component) {
  FBaseTexts.erase(&component);
}
