// Arbitrary bytes as a settings file. The reader must refuse or parse them
// without crashing; a parsed document must give back exactly its input
// until it is changed, and a change must touch only its own key: every
// section and key read before reads the same afterwards, and the new value
// reads back as written. The number readers take the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "params/IniFiles.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

struct TSnapshot {
  std::string Section, Key, Value;
};

std::vector<TSnapshot> Snapshot(const TIniDocument& doc) {
  std::vector<TSnapshot> all;
  for (const std::string& section : doc.SectionNames())
    for (const std::string& key : doc.KeyNames(section)) {
      std::string value;
      Check(doc.ReadString(section, key, value));
      all.push_back({section, key, value});
    }
  return all;
}

bool IsFuzzSection(const std::string& name) {
  const std::string_view target = "fuzz.common";
  if (name.size() != target.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] + 32) : name[i];
    if (c != target[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::int64_t i = 0;
  double d = 0;
  ParseIniInteger(text, i);
  ParseIniFloat(text, d);
  Check(DecodeIniValue(EncodeIniValue(text)) == text);

  TIniDocument doc;
  try {
    doc = TIniDocument(text);
  } catch (const EIniFileError&) {
    Check(text.find('\0') != std::string_view::npos);
    return 0;
  }
  Check(doc.Text() == text);
  const std::vector<TSnapshot> before = Snapshot(doc);

  const std::string value(text.substr(0, 64));
  doc.WriteString("Fuzz.Common", "Parser config", value);
  TIniDocument reread(doc.Text());
  std::string back;
  Check(reread.ReadString("fuzz.common", "PARSER CONFIG", back) && back == value);
  for (const TSnapshot& s : before) {
    if (IsFuzzSection(s.Section)) continue;  // the section written into
    std::string now;
    Check(reread.ReadString(s.Section, s.Key, now) && now == s.Value);
  }
  reread.DeleteKey("Fuzz.Common", "Parser config");
  return 0;
}
