// The whole input as a request document for the host's look before a read,
// and as the bytes of a reply packet beside a DEVICE_ID for the tally of
// silent devices (the document's devices, and each line as one). Nothing
// may escape; a document without requests always has a reason, a fault
// always names its line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/ReadOutcome.h"
#include "host/RequestCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const host::TRequestCheck check = host::CheckRequestDocument(text);
  if ((check.Requests == 0) == check.NoRequestReason.empty()) std::abort();
  if (!check.Fault.empty() && check.Fault.rfind("line ", 0) != 0) std::abort();
  if (check.Requests == 0 && !check.Devices.empty()) std::abort();

  std::vector<std::string> devices = check.Devices;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      devices.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  devices.push_back(line);
  host::TDeviceTally tally(devices);
  host::TReceivedData row;
  row.Values.emplace_back("DEVICE_ID", line);
  row.Items.emplace_back(OleVariant(std::string_view(line)));
  row.Values.emplace_back("FULL_DATA_PACKET", "");
  row.Items.emplace_back(OleVariant(std::string_view(text)));
  tally.Note(row);
  if (tally.Silent().size() > devices.size()) std::abort();
  return 0;
}
