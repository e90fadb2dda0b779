#include "framework/StringList.h"

#include <algorithm>
#include <string>
#include <utility>

#include "framework/SysUtils.h"
#include "platform/Text.h"

namespace {

constexpr char kNameValueSeparator = '=';

[[noreturn]] void IndexError(std::int32_t index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

int CompareBytes(std::string_view a, std::string_view b) {
  int result = a.compare(b);  // char_traits<char> compares as unsigned char
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

}  // namespace

TStringList::~TStringList() {
  Clear();
}

const TStringList::TItem& TStringList::Item(std::int32_t index) const {
  if (index < 0 || index >= Count()) IndexError(index);
  return FItems[static_cast<std::size_t>(index)];
}

TStringList::TItem& TStringList::Item(std::int32_t index) {
  if (index < 0 || index >= Count()) IndexError(index);
  return FItems[static_cast<std::size_t>(index)];
}

void TStringList::CheckUnsorted() const {
  if (FSorted) throw EListError("Operation not allowed on sorted list");
}

void TStringList::FreeObject(TObject* object) const {
  if (FOwnsObjects) delete object;
}

void TStringList::SetCapacity(std::int32_t capacity) {
  if (capacity < Count())
    throw EListError("List capacity out of bounds (" + std::to_string(capacity) + ")");
  if (capacity > Capacity()) {
    FItems.reserve(static_cast<std::size_t>(capacity));
  } else if (capacity < Capacity()) {
    std::vector<TItem> smaller;
    smaller.reserve(static_cast<std::size_t>(capacity));
    std::move(FItems.begin(), FItems.end(), std::back_inserter(smaller));
    FItems.swap(smaller);
  }
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
  if (FCaseSensitive) return CompareBytes(a, b);
  return CompareBytes(plat::AnsiLowerCase(a), plat::AnsiLowerCase(b));
}

std::int32_t TStringList::AddObject(const std::string& s, TObject* object) {
  if (!FSorted) {
    FItems.push_back({s, object});
    return Count() - 1;
  }
  std::int32_t index;
  if (Find(s, index)) {
    switch (FDuplicates) {
      case TDuplicates::dupIgnore:
        return index;
      case TDuplicates::dupError:
        throw EListError("String list does not allow duplicates");
      case TDuplicates::dupAccept:
        // After the equal ones, so equal strings keep the order they came in.
        while (index < Count() && CompareStrings(FItems[index].Text, s) == 0) ++index;
        break;
    }
  }
  FItems.insert(FItems.begin() + index, TItem{s, object});
  return index;
}

void TStringList::InsertObject(std::int32_t index, const std::string& s, TObject* object) {
  CheckUnsorted();
  if (index < 0 || index > Count()) IndexError(index);
  FItems.insert(FItems.begin() + index, TItem{s, object});
}

void TStringList::Delete(std::int32_t index) {
  TObject* object = Item(index).Object;
  FItems.erase(FItems.begin() + index);
  FreeObject(object);
}

// Empties the list first, so an owned object's destructor sees no freed
// neighbours.
void TStringList::Clear() {
  std::vector<TItem> items;
  items.swap(FItems);
  for (const TItem& item : items) FreeObject(item.Object);
}

void TStringList::Exchange(std::int32_t index1, std::int32_t index2) {
  CheckUnsorted();
  std::swap(Item(index1), Item(index2));
}

void TStringList::SetString(std::int32_t index, const std::string& s) {
  CheckUnsorted();
  Item(index).Text = s;
}

std::int32_t TStringList::IndexOf(std::string_view s) const {
  if (FSorted) {
    std::int32_t index;
    return Find(s, index) ? index : -1;
  }
  for (std::int32_t i = 0; i < Count(); ++i)
    if (CompareStrings(FItems[i].Text, s) == 0) return i;
  return -1;
}

std::int32_t TStringList::IndexOfObject(const TObject* object) const {
  for (std::int32_t i = 0; i < Count(); ++i)
    if (FItems[i].Object == object) return i;
  return -1;
}

bool TStringList::Find(std::string_view s, std::int32_t& index) const {
  std::int32_t low = 0;
  std::int32_t high = Count();  // the first place is in [low, high]
  while (low < high) {
    std::int32_t middle = low + (high - low) / 2;
    if (CompareStrings(FItems[middle].Text, s) < 0)
      low = middle + 1;
    else
      high = middle;
  }
  index = low;
  return low < Count() && CompareStrings(FItems[low].Text, s) == 0;
}

void TStringList::SetSorted(bool sorted) {
  if (sorted && !FSorted) Sort();
  FSorted = sorted;
}

void TStringList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(), [this](const TItem& a, const TItem& b) {
    return CompareStrings(a.Text, b.Text) < 0;
  });
}

void TStringList::SetCaseSensitive(bool caseSensitive) {
  if (caseSensitive == FCaseSensitive) return;
  FCaseSensitive = caseSensitive;
  if (FSorted) Sort();
}

std::string TStringList::Names(std::int32_t index) const {
  const std::string& line = Strings(index);
  std::size_t separator = line.find(kNameValueSeparator);
  return separator == std::string::npos ? std::string() : line.substr(0, separator);
}

std::string TStringList::ValueFromIndex(std::int32_t index) const {
  const std::string& line = Strings(index);
  std::size_t separator = line.find(kNameValueSeparator);
  return separator == std::string::npos ? std::string() : line.substr(separator + 1);
}

std::int32_t TStringList::IndexOfName(std::string_view name) const {
  for (std::int32_t i = 0; i < Count(); ++i) {
    std::string_view line = FItems[i].Text;
    std::size_t separator = line.find(kNameValueSeparator);
    if (separator != std::string_view::npos && CompareStrings(line.substr(0, separator), name) == 0)
      return i;
  }
  return -1;
}

std::string TStringList::Values(std::string_view name) const {
  std::int32_t index = IndexOfName(name);
  return index < 0 ? std::string() : ValueFromIndex(index);
}

void TStringList::SetValue(std::string_view name, const std::string& value) {
  std::int32_t index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  std::string line = std::string(name) + kNameValueSeparator + value;
  if (index < 0) {
    Add(line);
  } else if (!FSorted) {
    FItems[index].Text = std::move(line);
  } else {
    // A new text may belong elsewhere in a sorted list: move it there.
    TObject* object = FItems[index].Object;
    FItems.erase(FItems.begin() + index);
    AddObject(line, object);
  }
}

std::string TStringList::Text() const {
  std::string text;
  for (std::int32_t i = 0; i < Count(); ++i) {
    text += FItems[i].Text;
    text += "\r\n";
  }
  return text;
}

void TStringList::SetText(std::string_view text) {
  Clear();
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    Add(std::string(text.substr(start, end - start)));
    start = end;
    if (start == text.size()) break;
    bool crlf = text[start] == '\r' && start + 1 < text.size() && text[start + 1] == '\n';
    start += crlf ? 2 : 1;
  }
}
