#include "host/SearchProgress.h"

#include <algorithm>
#include <ostream>

namespace host {

namespace {

// The system's text for a meter found (primary and secondary searches).
const char* const kFoundPrefix = "Found a M-bus device";

}  // namespace

void TSearchProgress::Show(const TSearchStatus& status, TClock::time_point now) {
  const std::string text = ProgressText(status, FMaximum);
  if (FStyle == TProgressStyle::Line)
    ShowLine(text);
  else if (FStyle == TProgressStyle::Plain)
    ShowPlain(status, text, now);
}

void TSearchProgress::Clear() {
  if (FShown == 0) return;
  FErr << "\r" << std::string(FShown, ' ') << "\r" << std::flush;
  FShown = 0;
}

// A longer line would wrap, and the next one could not replace it; a
// shorter one is padded over the rest of the previous.
void TSearchProgress::ShowLine(const std::string& text) {
  const std::string shown = text.substr(0, kLineWidth);
  FErr << "\r" << shown;
  if (shown.size() < FShown) FErr << std::string(FShown - shown.size(), ' ');
  FErr << std::flush;
  FShown = std::max(FShown, shown.size());
}

void TSearchProgress::ShowPlain(const TSearchStatus& status, const std::string& text,
                                TClock::time_point now) {
  for (const auto& line : status.Lines) {
    if (line.rfind(kFoundPrefix, 0) != 0 || line == FLastFound) continue;
    FLastFound = line;
    FErr << "mbus-host: " << line << "\n";
  }
  if (text == FLastText || (FPrinted && now - FLastPrint < kPlainPeriod)) return;
  FLastText = text;
  FLastPrint = now;
  FPrinted = true;
  FErr << "mbus-host: search " << text << "\n";
}

}  // namespace host
