// TSearchProgress: the progress of `mbus-host search` on stderr, from the
// running status the plug-in answers. Plain style (default, readable in a
// log file as on a terminal): a line for every meter the status reports
// found, and the position at most every few seconds. Line style: one line
// rewritten in place, kept within a terminal's width. None: nothing.
// One thread (the main thread).
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "host/SearchOptions.h"

namespace host {

class TSearchProgress {
 public:
  using TClock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kPlainPeriod{3};
  static constexpr std::size_t kLineWidth = 79;

  TSearchProgress(std::ostream& err, TProgressStyle style, std::uint32_t maximum)
      : FErr(err), FStyle(style), FMaximum(maximum) {}

  // A running status, seen at `now`.
  void Show(const TSearchStatus& status, TClock::time_point now);
  // Line style: blanks the line, so other output starts on a clean one.
  void Clear();

 private:
  void ShowLine(const std::string& text);
  void ShowPlain(const TSearchStatus& status, const std::string& text, TClock::time_point now);

  std::ostream& FErr;
  TProgressStyle FStyle;
  std::uint32_t FMaximum;
  std::size_t FShown = 0;  // line style: characters on the line
  std::string FLastFound, FLastText;
  bool FPrinted = false;  // plain style: a position line went out at FLastPrint
  TClock::time_point FLastPrint;
};

}  // namespace host
