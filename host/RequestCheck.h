// A look at a request document before the plug-in gets it: how many
// requests the plug-in will send and to which devices (by the plug-in's own
// reading rules, on the same forgiving XML reader), and the first fault of
// the document's structure with its line (the plug-in's reader skips such
// faults silently, so a broken document would otherwise just read nothing).
// Pure function; any thread.
#pragma once

#include <string>
#include <vector>

namespace host {

struct TRequestCheck {
  int Requests = 0;                  // requests the plug-in sends (enabled ones)
  std::vector<std::string> Devices;  // their addresses, each once, in order
  std::string Fault;                 // "line N: ..." for the first structural fault; "" when none
  // Why no request comes of the document (Requests 0): the fault when
  // there is one, else the rule that left nothing to send.
  std::string NoRequestReason;
};

TRequestCheck CheckRequestDocument(const std::string& document);

}  // namespace host
