#include "plugin/korPluginLog.h"

#include <cstring>

#include "framework/LockGuards.h"

TLogDataList::TLogDataList(std::int32_t maxLines) : MaxLines(maxLines) {}

std::int32_t TLogDataList::RepeatCount(const TStringList& list, std::int32_t index) {
  return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(list.Objects(index)));
}

void TLogDataList::SetRepeatCount(TStringList& list, std::int32_t index, std::int32_t count) {
  // The slot holds the count itself, never an object (the list owns none).
  list.SetObject(index, reinterpret_cast<TObject*>(  // NOLINT(performance-no-int-to-ptr)
                            static_cast<std::intptr_t>(count)));
}

// Appends " xN" (all occurrences) to a line that collapsed repeats.
void TLogDataList::WriteOutRepeat(TStringList& list, std::int32_t index) {
  std::int32_t repeats = RepeatCount(list, index);
  if (repeats <= 0) return;
  list.SetString(index, list.Strings(index) + " x" + std::to_string(repeats + 1));
  SetRepeatCount(list, index, 0);
}

void TLogDataList::AddLine(const std::string& line) {
  TWriteLock lock(*this);
  TStringList& list = *lock;
  std::int32_t last = list.Count() - 1;
  if (last >= 0 && list.Strings(last) == line) {
    SetRepeatCount(list, last, RepeatCount(list, last) + 1);
  } else {
    if (last >= 0) WriteOutRepeat(list, last);
    list.Add(line);
  }
  if (NoTrim < 1)
    while (list.Count() > MaxLines && list.Count() > 0) list.Delete(0);
}

std::string TLogDataList::TextLocked(TStringList& list) {
  if (list.Count() > 0) WriteOutRepeat(list, list.Count() - 1);
  std::string text;
  for (std::int32_t i = 0; i < list.Count(); ++i) {
    text += list.Strings(i);
    text += "\r\n";
  }
  return text;
}

std::string TLogDataList::GetLogText() {
  TWriteLock lock(*this);
  return TextLocked(*lock);
}

TLogFetch TLogDataList::Fetch(void* buffer, std::uint32_t capacity) {
  TWriteLock lock(*this);
  TStringList& list = *lock;
  const std::string text = TextLocked(list);
  TLogFetch fetch;
  fetch.Length = static_cast<std::uint32_t>(text.size());
  if (text.empty()) return fetch;
  if (capacity == 0) {
    list.Clear();
    return fetch;
  }
  if (text.size() > capacity || buffer == nullptr) return fetch;
  std::memcpy(buffer, text.data(), text.size());
  list.Clear();
  fetch.Copied = static_cast<std::int32_t>(text.size());
  return fetch;
}

std::int32_t TLogDataList::LineCount() {
  TReadLock lock(*this);
  return lock->Count();
}

std::string TLogDataList::FormatLine(std::uint8_t level, std::string_view title,
                                     std::string_view text, bool flag) {
  std::string line(1, static_cast<char>((level + 1) | (flag ? 0x80 : 0)));
  if (!title.empty()) {
    line += title;
    line += ". ";
  }
  for (char c : text) line += (c == '\r' || c == '\n') ? ' ' : c;
  return line;
}
