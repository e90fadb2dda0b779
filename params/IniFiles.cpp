#include "params/IniFiles.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "params/SharedFiles.h"

namespace {

constexpr std::string_view kTextMarker = "[[Text]]";
constexpr std::size_t npos = std::string::npos;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Only blanks and tabs (and a line end at the back) count here: other
// control characters belong to the value.
std::string_view TrimIni(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// The line without its line end.
std::string_view Body(const std::string& raw) {
  std::string_view s(raw);
  if (!s.empty() && s.back() == '\n') s.remove_suffix(1);
  if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

// ---- the document ----

TIniDocument::TIniDocument(std::string_view text) {
  if (text.find('\0') != npos) throw EIniFileError("The settings file is not a text file");
  std::size_t crlf = text.find("\r\n");
  std::size_t lf = text.find('\n');
  if (lf != npos && (crlf == npos || crlf > lf)) FEol = "\n";
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == npos ? text.size() : end + 1;
    FLines.push_back(ParseLine(std::string(text.substr(start, end - start)), start == 0));
    start = end;
  }
}

TIniDocument::TLine TIniDocument::ParseLine(std::string raw, bool first) {
  TLine line;
  line.Raw = std::move(raw);
  std::string_view body = Body(line.Raw);
  std::size_t skipped = 0;
  if (first && body.substr(0, 3) == "\xEF\xBB\xBF") skipped = 3;
  std::string_view s = body.substr(skipped);
  while (!s.empty() && IsBlank(s.front())) {
    s.remove_prefix(1);
    ++skipped;
  }
  if (s.empty() || s.front() == ';' || s.front() == '#') return line;
  if (s.front() == '[') {
    std::size_t close = s.find(']');
    if (close == npos) {
      line.Kind = TKind::BrokenSection;
      return line;
    }
    line.Kind = TKind::Section;
    line.Name = std::string(TrimIni(s.substr(1, close - 1)));
    return line;
  }
  std::size_t eq = s.find('=');
  if (eq == npos) return line;
  line.Kind = TKind::Key;
  line.Name = std::string(TrimIni(s.substr(0, eq)));
  line.KeyEnd = skipped + eq;
  return line;
}

std::size_t TIniDocument::FindSection(std::string_view section) const {
  if (section.empty()) return npos;
  for (std::size_t i = 0; i < FLines.size(); ++i)
    if (FLines[i].Kind == TKind::Section && SameName(FLines[i].Name, section)) return i;
  return npos;
}

std::size_t TIniDocument::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < FLines.size() && FLines[i].Kind != TKind::Section &&
         FLines[i].Kind != TKind::BrokenSection)
    ++i;
  return i;
}

std::size_t TIniDocument::FindKey(std::size_t header, std::string_view key) const {
  if (header == npos) return npos;
  std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i)
    if (FLines[i].Kind == TKind::Key && SameName(FLines[i].Name, key)) return i;
  return npos;
}

bool TIniDocument::ReadString(std::string_view section, std::string_view key,
                              std::string& value) const {
  std::size_t i = FindKey(FindSection(section), TrimIni(key));
  if (i == npos) return false;
  std::string_view v = TrimIni(Body(FLines[i].Raw).substr(FLines[i].KeyEnd + 1));
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  value = DecodeIniValue(v);
  return true;
}

void TIniDocument::EnsureLineEnd(std::size_t index) {
  std::string& raw = FLines[index].Raw;
  if (raw.empty() || raw.back() != '\n') raw += FEol;
}

void TIniDocument::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
  section = TrimIni(section);
  key = TrimIni(key);
  if (section.empty() || key.empty()) throw EIniFileError("An INI key needs a section and a name");
  if (key.find_first_of("=\r\n") != npos || section.find_first_of("]\r\n") != npos ||
      key.front() == '[' || key.front() == ';' || key.front() == '#')
    throw EIniFileError("The name \"" + std::string(key) + "\" cannot be stored in an INI file");
  std::string encoded = EncodeIniValue(value);
  std::size_t header = FindSection(section);
  std::size_t i = FindKey(header, key);
  if (i != npos) {
    TLine& line = FLines[i];
    std::string_view body = Body(line.Raw);
    std::string eol = line.Raw.substr(body.size());
    std::string raw = line.Raw.substr(0, line.KeyEnd + 1) + encoded + eol;
    if (raw != line.Raw) {
      line.Raw = std::move(raw);
      FModified = true;
    }
    return;
  }
  std::string keyLine = std::string(key) + "=" + encoded + FEol;
  if (header == npos) {
    if (!FLines.empty()) EnsureLineEnd(FLines.size() - 1);
    FLines.push_back(ParseLine("[" + std::string(section) + "]" + FEol, FLines.empty()));
    FLines.push_back(ParseLine(keyLine, false));
  } else {
    // After the section's last key, so blank lines and comments that end
    // the section stay in front of the next one.
    std::size_t at = header;
    const std::size_t end = SectionEnd(header);
    for (std::size_t k = header + 1; k < end; ++k)
      if (FLines[k].Kind == TKind::Key) at = k;
    EnsureLineEnd(at);
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(at + 1), ParseLine(keyLine, false));
  }
  FModified = true;
}

bool TIniDocument::DeleteKey(std::string_view section, std::string_view key) {
  std::size_t i = FindKey(FindSection(section), TrimIni(key));
  if (i == npos) return false;
  FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(i));
  FModified = true;
  return true;
}

bool TIniDocument::EraseSection(std::string_view section) {
  std::size_t header = FindSection(section);
  if (header == npos) return false;
  FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(header),
               FLines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(header)));
  FModified = true;
  return true;
}

bool TIniDocument::SectionExists(std::string_view section) const {
  return FindSection(TrimIni(section)) != npos;
}

std::vector<std::string> TIniDocument::SectionNames() const {
  std::vector<std::string> names;
  for (const TLine& line : FLines) {
    if (line.Kind != TKind::Section || line.Name.empty()) continue;
    bool seen = false;
    for (const std::string& n : names) seen = seen || SameName(n, line.Name);
    if (!seen) names.push_back(line.Name);
  }
  return names;
}

std::vector<std::string> TIniDocument::KeyNames(std::string_view section) const {
  std::vector<std::string> names;
  std::size_t header = FindSection(TrimIni(section));
  if (header == npos) return names;
  std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (FLines[i].Kind != TKind::Key || FLines[i].Name.empty()) continue;
    bool seen = false;
    for (const std::string& n : names) seen = seen || SameName(n, FLines[i].Name);
    if (!seen) names.push_back(FLines[i].Name);
  }
  return names;
}

std::string TIniDocument::Text() const {
  std::string text;
  for (const TLine& line : FLines) text += line.Raw;
  return text;
}

// ---- values ----

std::string EncodeIniValue(std::string_view value) {
  auto awkward = [](unsigned char c) { return c < 0x20 && c != '\t'; };
  bool plain = value.substr(0, kTextMarker.size()) != kTextMarker;
  for (unsigned char c : value) plain = plain && !awkward(c);
  if (!value.empty()) {
    plain = plain && !IsBlank(value.front()) && !IsBlank(value.back());
    plain = plain && !(value.size() >= 2 && value.front() == '"' && value.back() == '"');
  }
  if (plain) return std::string(value);
  std::string out(kTextMarker);
  for (std::size_t i = 0; i < value.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    bool edge = i == 0 || i + 1 == value.size();
    if (c < 0x20 || c == '%' || (edge && (IsBlank(value[i]) || c == '"'))) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string DecodeIniValue(std::string_view stored) {
  if (stored.substr(0, kTextMarker.size()) != kTextMarker) return std::string(stored);
  stored.remove_prefix(kTextMarker.size());
  std::string out;
  out.reserve(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == '%' && i + 2 < stored.size() && HexDigit(stored[i + 1]) >= 0 &&
        HexDigit(stored[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(stored[i + 1]) * 16 + HexDigit(stored[i + 2]));
      i += 2;
    } else {
      out += stored[i];
    }
  }
  return out;
}

bool ParseIniInteger(std::string_view text, std::int64_t& value) {
  text = TrimIni(text);
  bool negative = !text.empty() && text.front() == '-';
  if (negative || (!text.empty() && text.front() == '+')) text.remove_prefix(1);
  int base = 10;
  if (!text.empty() && text.front() == '$') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  std::uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (base == 16 && !negative) {  // hexadecimal may spell negative numbers
    value = static_cast<std::int64_t>(magnitude);
    return true;
  }
  const std::uint64_t limit = negative ? (std::uint64_t{1} << 63) : (std::uint64_t{1} << 63) - 1;
  if (magnitude > limit) return false;
  value =
      negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

bool ParseIniFloat(std::string_view text, double& value) {
  text = TrimIni(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.size() > 400) return false;
  std::string s(text);
  std::size_t comma = s.find(',');
  if (comma != npos) {
    if (s.find('.') != npos || s.find(',', comma + 1) != npos) return false;
    s[comma] = '.';
  }
  double v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

std::string FormatIniFloat(double value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return "0";
  return std::string(buffer, end);
}

std::string IniLockName(std::string_view path) {
  return SharedFileLockName(path);
}

// ---- the file ----

void UpdateIniFile(const std::string& path, const std::function<void(TIniDocument&)>& action) {
  try {
    UpdateSharedFile(path, kMaxIniFileSize, "settings file", [&](std::string& text) {
      TIniDocument document;
      try {
        document = TIniDocument(text);
      } catch (const EIniFileError& e) {
        throw EIniFileError(std::string(e.what()) + ": " + path);
      }
      action(document);
      if (!document.Modified()) return false;
      text = document.Text();
      return true;
    });
  } catch (const ESharedFileError& e) {
    throw EIniFileError(e.what());
  }
}
