// TkorStrHolder: a non-visual component that carries a list of text lines
// inside a form resource (the module's persisted-property list, for one).
// In the form the lines travel scrambled: the stored property "StrData" is
// a list of strings whose first string is KeyString and whose others are
// the lines, each as the lower-case hexadecimal form of its UTF-8 bytes
// XORed with the UTF-8 key; "InternalVer" says which encoding the lines
// use (0: plain XOR, 1: hex of 8-bit text, 2: hex of UTF-8, the one written).
//
// Owns its string list. Not thread-safe: a holder lives on the thread of
// the module or form that owns it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "framework/Component.h"
#include "framework/FormStream.h"
#include "framework/StringList.h"

class TkorStrHolder;
using TStrHolderNotifyEvent = std::function<void(TkorStrHolder& sender)>;

class TkorStrHolder : public TComponent {
 public:
  static constexpr const char* kClassName = "TkorStrHolder";
  static constexpr std::int32_t kWrittenVersion = 2;

  explicit TkorStrHolder(TComponent* owner = nullptr) : TComponent(owner) {}
  ~TkorStrHolder() override;

  // ---- the list (every change fires Changing before and Changed after) ----
  const TStringList& Strings() const { return FStrings; }
  // Copies the lines of source (nothing when source is the holder's own list).
  void SetStrings(const TStringList& source);
  void Add(const std::string& line);
  void Clear();
  void SetText(std::string_view text);
  std::int32_t Capacity() const { return FStrings.Capacity(); }
  void SetCapacity(std::int32_t capacity) { FStrings.SetCapacity(capacity); }
  TDuplicates Duplicates() const { return FStrings.Duplicates(); }
  void SetDuplicates(TDuplicates duplicates) { FStrings.SetDuplicates(duplicates); }
  bool Sorted() const { return FStrings.Sorted(); }
  void SetSorted(bool sorted);

  void Assign(const TStringList& source) { SetStrings(source); }
  void Assign(const TkorStrHolder& source) { SetStrings(source.FStrings); }
  void AssignTo(TStringList& destination) const;

  // The scrambling key (8-bit text, may be empty); it travels in StrData.
  std::string KeyString;
  // The encoding version of the last form read (0 when it had none).
  std::int32_t InternalVer() const { return FVersion; }

  TStrHolderNotifyEvent OnChange;
  TStrHolderNotifyEvent OnChanging;

  // ---- streaming ----
  // Applies the stored properties of the holder's record in a form stream:
  // InternalVer, StrData, Sorted, Duplicates, Capacity (others are
  // ignored). Fires no notification. Raises Exception ("Error reading
  // NAME.PROPERTY: ...") for a property of the wrong type; the holder then
  // keeps what it had before the call.
  void ReadFromForm(const form::TFormObject& record);
  // Adds the stored properties to record. Without an ancestor: InternalVer
  // (2) always, StrData when there are lines or a key. With one (the holder
  // of an inherited form's ancestor): StrData, with InternalVer, only when
  // the key, the line count or a line (without regard to case) differs.
  void WriteToForm(form::TFormObject& record, const TkorStrHolder* ancestor = nullptr) const;

  // One line in the written encoding (version 2).
  static std::string EncodeLine(std::string_view line, std::string_view key);
  // One stored string decoded by the rules of version.
  static std::string DecodeLine(std::string_view stored, std::string_view key,
                                std::int32_t version);

 protected:
  virtual void Changed();
  virtual void Changing();

 private:
  bool DiffersFrom(const TkorStrHolder& ancestor) const;

  TStringList FStrings;
  std::int32_t FVersion = 0;
  bool FReading = false;
};
