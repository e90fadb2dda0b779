// The user-interface translator: language files, the current language,
// the names of the properties that get translated, and translating one
// component. Thread: the module's command thread (under its command lock).
//
// Language files are line-based 8-bit text in the system code page:
//   ; a comment (also an empty line)
//   LANGUAGE=DE                       the language the file translates into
//   base text=translated text         one pair a line
// The base text is the property's text in the base language; the first "="
// not preceded by "\" ends it. In both texts "\=" stands for "=", "\n" for a
// line break and "\\" for "\". A later pair for the same base text wins; a
// later file of the list overrides earlier ones. A missing file translates
// nothing.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// What the translator can read and write on a component: text properties by
// name.
class ITranslatable {
 public:
  virtual bool GetTextProperty(std::string_view name, std::string& value) const = 0;
  virtual bool SetTextProperty(std::string_view name, const std::string& value) = 0;

 protected:
  ~ITranslatable() = default;
};

// One language file's content.
struct TLanguageFile {
  std::string Language;  // "" when the file names none
  std::map<std::string, std::string> Pairs;
};

// Reads the text of a language file; malformed lines are skipped.
TLanguageFile ParseLanguageFile(std::string_view text);

class TWtransl {
 public:
  // "|"-separated file names; reading them happens here (missing files are
  // skipped).
  void SetLanguageFiles(const std::string& files);
  const std::string& LanguageFiles() const { return FFileList; }
  void ClearLanguageFiles() { SetLanguageFiles(""); }
  // True when at least one file of the list was read.
  bool HasLanguageFile() const { return !FFiles.empty(); }

  std::string Language = "EN";

  // The language of the last file read that names one, else Language.
  std::string FileLanguage() const;

  std::vector<std::string> Properties;  // translatable property names
  void AddProperty(const std::string& name);
  std::string PropertiesText() const;  // one name a line, CR LF after each

  // Sets every translatable property of component to its text in language.
  // Base texts are remembered at the first translation, so translating back
  // into the base language (or into a language no file has) restores them.
  void Translate(ITranslatable& component, const std::string& language,
                 const std::string& baseLanguage);
  // The translation of one base text into language, or the text itself.
  std::string TranslateText(const std::string& text, const std::string& language) const;
  // Drops what was remembered of a component that goes away.
  void Forget(const ITranslatable& component);

 private:
  const std::string* Lookup(const std::string& language, const std::string& base) const;

  std::string FFileList;
  std::vector<TLanguageFile> FFiles;
  std::map<const ITranslatable*, std::map<std::string, std::string>> FBaseTexts;
};
