#include "plugin/korStringHolder.h"

#include <utility>
#include <vector>

#include "framework/SysUtils.h"
#include "platform/Text.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr std::size_t kVersion0Limit = 255;

std::string AnsiToUtf8(std::string_view ansi) {
  return plat::WideToUtf8(plat::AnsiToWide(ansi));
}
std::string Utf8ToAnsi(std::string_view utf8) {
  return plat::WideToAnsi(plat::Utf8ToWide(utf8));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Pairs of hexadecimal digits to bytes (an odd last digit is dropped, a pair
// that is not hexadecimal gives a blank), each XORed with the key.
std::string UnhexXor(std::string_view stored, std::string_view key) {
  std::string bytes;
  bytes.reserve(stored.size() / 2);
  for (std::size_t i = 0; i + 1 < stored.size(); i += 2) {
    const int high = HexValue(stored[i]);
    const int low = HexValue(stored[i + 1]);
    char byte = high < 0 || low < 0 ? ' ' : static_cast<char>(high * 16 + low);
    if (!key.empty()) byte = static_cast<char>(byte ^ key[bytes.size() % key.size()]);
    bytes.push_back(byte);
  }
  return bytes;
}

// The 8-bit text of a string value, or false for any other value type.
bool StringValue(const form::TFormValue& value, std::string& text) {
  using form::TValueType;
  switch (value.Type) {
    case TValueType::vaString:
    case TValueType::vaLString:
      text = value.Bytes;
      return true;
    case TValueType::vaUTF8String:
      text = Utf8ToAnsi(value.Bytes);
      return true;
    case TValueType::vaWString:
      text = plat::WideToAnsi(value.Wide);
      return true;
    default:
      return false;
  }
}

[[noreturn]] void ReadError(const form::TFormObject& record, std::string_view property,
                            std::string_view what) {
  throw Exception("Error reading " + record.Name + "." + std::string(property) + ": " +
                  std::string(what));
}

std::int32_t IntegerProperty(const form::TFormObject& record, const form::TFormProperty& property) {
  if (!property.Value.IsInteger() || property.Value.Type == form::TValueType::vaInt64)
    ReadError(record, property.Name, "an integer expected");
  return static_cast<std::int32_t>(property.Value.Int);
}

bool BoolProperty(const form::TFormObject& record, const form::TFormProperty& property) {
  if (property.Value.Type == form::TValueType::vaTrue) return true;
  if (property.Value.Type == form::TValueType::vaFalse) return false;
  ReadError(record, property.Name, "True or False expected");
}

TDuplicates DuplicatesProperty(const form::TFormObject& record,
                               const form::TFormProperty& property) {
  if (property.Value.Type == form::TValueType::vaIdent) {
    if (property.Value.Bytes == "dupIgnore") return TDuplicates::dupIgnore;
    if (property.Value.Bytes == "dupAccept") return TDuplicates::dupAccept;
    if (property.Value.Bytes == "dupError") return TDuplicates::dupError;
  }
  ReadError(record, property.Name, "dupIgnore, dupAccept or dupError expected");
}

const char* DuplicatesName(TDuplicates duplicates) {
  switch (duplicates) {
    case TDuplicates::dupAccept:
      return "dupAccept";
    case TDuplicates::dupError:
      return "dupError";
    case TDuplicates::dupIgnore:
      break;
  }
  return "dupIgnore";
}

// What one record holds for the holder, checked before anything changes.
struct TStoredHolder {
  bool HasVersion = false;
  std::int32_t Version = 0;
  bool HasData = false;
  std::vector<std::string> Data;  // key first, then the stored lines
  bool HasSorted = false;
  bool Sorted = false;
  bool HasDuplicates = false;
  TDuplicates Duplicates = TDuplicates::dupIgnore;
  std::int32_t Capacity = -1;
};

TStoredHolder ReadStored(const form::TFormObject& record) {
  TStoredHolder stored;
  for (const form::TFormProperty& property : record.Properties) {
    if (property.Name == "InternalVer") {
      stored.HasVersion = true;
      stored.Version = IntegerProperty(record, property);
    } else if (property.Name == "StrData") {
      if (property.Value.Type != form::TValueType::vaList)
        ReadError(record, property.Name, "a list of strings expected");
      stored.HasData = true;
      stored.Data.clear();
      for (const form::TFormValue& item : property.Value.List) {
        std::string text;
        if (!StringValue(item, text))
          ReadError(record, property.Name, "a list of strings expected");
        stored.Data.push_back(std::move(text));
      }
    } else if (property.Name == "Sorted") {
      stored.HasSorted = true;
      stored.Sorted = BoolProperty(record, property);
    } else if (property.Name == "Duplicates") {
      stored.HasDuplicates = true;
      stored.Duplicates = DuplicatesProperty(record, property);
    } else if (property.Name == "Capacity") {
      stored.Capacity = IntegerProperty(record, property);
    }
  }
  return stored;
}

}  // namespace

TkorStrHolder::~TkorStrHolder() {
  OnChange = nullptr;
  OnChanging = nullptr;
}

void TkorStrHolder::Changed() {
  if (!FReading && OnChange) OnChange(*this);
}

void TkorStrHolder::Changing() {
  if (!FReading && OnChanging) OnChanging(*this);
}

void TkorStrHolder::SetStrings(const TStringList& source) {
  if (&source == &FStrings) return;
  Changing();
  FStrings.Clear();
  for (std::int32_t i = 0; i < source.Count(); ++i) FStrings.Add(source.Strings(i));
  Changed();
}

void TkorStrHolder::Add(const std::string& line) {
  Changing();
  FStrings.Add(line);
  Changed();
}

void TkorStrHolder::Clear() {
  Changing();
  FStrings.Clear();
  Changed();
}

void TkorStrHolder::SetText(std::string_view text) {
  Changing();
  FStrings.SetText(text);
  Changed();
}

void TkorStrHolder::SetSorted(bool sorted) {
  if (sorted == FStrings.Sorted()) return;
  Changing();
  FStrings.SetSorted(sorted);
  Changed();
}

void TkorStrHolder::AssignTo(TStringList& destination) const {
  if (&destination == &FStrings) return;
  destination.Clear();
  for (std::int32_t i = 0; i < FStrings.Count(); ++i) destination.Add(FStrings.Strings(i));
}

std::string TkorStrHolder::EncodeLine(std::string_view line, std::string_view key) {
  const std::string bytes = AnsiToUtf8(line);
  const std::string keyBytes = AnsiToUtf8(key);
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    if (!keyBytes.empty()) byte ^= static_cast<unsigned char>(keyBytes[i % keyBytes.size()]);
    out.push_back(kHexDigits[byte >> 4]);
    out.push_back(kHexDigits[byte & 15]);
  }
  return out;
}

std::string TkorStrHolder::DecodeLine(std::string_view stored, std::string_view key,
                                      std::int32_t version) {
  if (version >= 2) return Utf8ToAnsi(UnhexXor(stored, AnsiToUtf8(key)));
  if (version == 1) return UnhexXor(stored, key);
  std::string text(stored.substr(0, kVersion0Limit));
  if (!key.empty())
    for (std::size_t i = 0; i < text.size(); ++i)
      text[i] = static_cast<char>(text[i] ^ key[i % key.size()]);
  return text;
}

void TkorStrHolder::ReadFromForm(const form::TFormObject& record) {
  const TStoredHolder stored = ReadStored(record);  // raises before anything changes
  // Lines decode with the version of this record; a record without
  // InternalVer keeps the version read before (an inherited form's ancestor).
  const std::int32_t version = stored.HasVersion ? stored.Version : FVersion;
  std::vector<std::string> lines;
  std::string key = KeyString;
  if (stored.HasData && !stored.Data.empty()) {
    key = stored.Data.front();
    for (std::size_t i = 1; i < stored.Data.size(); ++i)
      lines.push_back(DecodeLine(stored.Data[i], key, version));
  }
  FReading = true;
  try {
    FVersion = version;
    if (stored.HasDuplicates) FStrings.SetDuplicates(stored.Duplicates);
    if (stored.HasSorted) FStrings.SetSorted(stored.Sorted);
    if (stored.Capacity >= 0) FStrings.SetCapacity(stored.Capacity);
    if (stored.HasData) {
      KeyString = key;
      FStrings.Clear();
      for (const std::string& line : lines) FStrings.Add(line);
    }
  } catch (...) {
    FReading = false;
    throw;
  }
  FReading = false;
}

bool TkorStrHolder::DiffersFrom(const TkorStrHolder& ancestor) const {
  if (KeyString != ancestor.KeyString || FStrings.Count() != ancestor.FStrings.Count()) return true;
  for (std::int32_t i = 0; i < FStrings.Count(); ++i)
    if (plat::AnsiLowerCase(FStrings.Strings(i)) !=
        plat::AnsiLowerCase(ancestor.FStrings.Strings(i)))
      return true;
  return false;
}

void TkorStrHolder::WriteToForm(form::TFormObject& record, const TkorStrHolder* ancestor) const {
  const bool writeData =
      ancestor ? DiffersFrom(*ancestor) : FStrings.Count() > 0 || !KeyString.empty();
  if (!ancestor || writeData)
    record.Properties.push_back({"InternalVer", form::TFormValue::MakeInt(kWrittenVersion)});
  if (FStrings.Duplicates() != TDuplicates::dupIgnore)
    record.Properties.push_back(
        {"Duplicates", form::TFormValue::MakeIdent(DuplicatesName(FStrings.Duplicates()))});
  if (FStrings.Sorted()) record.Properties.push_back({"Sorted", form::TFormValue::MakeBool(true)});
  if (!writeData) return;
  form::TFormValue data;
  data.Type = form::TValueType::vaList;
  data.List.push_back(form::TFormValue::MakeString(KeyString));
  for (std::int32_t i = 0; i < FStrings.Count(); ++i)
    data.List.push_back(form::TFormValue::MakeString(EncodeLine(FStrings.Strings(i), KeyString)));
  record.Properties.push_back({"StrData", std::move(data)});
}
