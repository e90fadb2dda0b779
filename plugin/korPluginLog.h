// The instance's log for the host: lines with a repeat count, collapsed when
// the same line comes again, trimmed to MaxLines from the front. Any thread
// may add lines; every operation runs under the list's write lock, and
// Fetch holds it across taking the text and clearing, so no line is lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/Thread_StringList.h"

// What a fetch into a caller buffer did.
struct TLogFetch {
  std::int32_t Copied = 0;   // bytes written to the buffer (0: nothing)
  std::uint32_t Length = 0;  // length of the whole log text
};

// Each line's object slot carries its RepeatCount (further identical lines
// collapsed into it), not an object.
class TLogDataList : public TThreadStringList {
 public:
  static constexpr std::int32_t kDefaultMaxLines = 51200;

  explicit TLogDataList(std::int32_t maxLines = kDefaultMaxLines);

  // Collapses a repeat of the last line, else appends; then trims.
  void AddLine(const std::string& line);
  // Every line followed by CR LF; a pending repeat count is written out
  // (" xN") first.
  std::string GetLogText();
  // The host's fetch: capacity 0 discards the log; a buffer that is too
  // small keeps it (Length tells the size needed); otherwise the text is
  // copied without terminator and the log is cleared.
  TLogFetch Fetch(void* buffer, std::uint32_t capacity);
  std::int32_t LineCount();

  // Builds one log line: level prefix (level + 1, bit 7 for the flag),
  // "title. " when a title is given, and the text with CR and LF as blanks.
  static std::string FormatLine(std::uint8_t level, std::string_view title, std::string_view text,
                                bool flag);

  std::int32_t MaxLines;    // guarded by the write lock
  std::int32_t NoTrim = 0;  // guarded by the write lock; >= 1 turns trimming off

 private:
  static std::int32_t RepeatCount(const TStringList& list, std::int32_t index);
  static void SetRepeatCount(TStringList& list, std::int32_t index, std::int32_t count);
  static void WriteOutRepeat(TStringList& list, std::int32_t index);
  std::string TextLocked(TStringList& list);
};
