// The request configuration: the MBUS document read into request items (one
// TRequestItem per configured device address), the parameters a request
// carries to the M-Bus worker, and the request fragment the device search
// offers the options dialog. See docs/mbus-requests.md.
//
// Threads: items are built by the reader on the host's calling thread and
// from then on reached through their list's lock (framework/
// parser_BasicRequestItem.h); TRequestParameters is copied by value into
// every worker command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/parser_BasicRequestItem.h"

class TDataSourceCfg;
class TjanXMLNode;
class TQueueControllerTimer;
class TRequestItem;

// What one request asks of the worker.
struct TRequestParameters {
  // The single device address as configured: primary number, identification
  // number ("s" + decimal allowed) or 16-character mask, optionally followed
  // by a comment in parentheses. Also the key of the device's last time point.
  std::string Device;
  std::string Reserved;          // carried, never read
  std::uint8_t Normalized = 0;   // the worker sets it in its own copy
  std::uint8_t FirstFrame = 0;   // read the first response frame only
  std::uint8_t ReadOnlyNew = 1;  // drop stored rows already delivered
  std::string StorageNo;         // filter in bracket form "[0][1]"; empty keeps all
  std::string TariffNo;          // the same for tariffs
  std::int32_t Timeout = 3000;   // ms
  TRequestItem* Item = nullptr;  // the owning item; not owned
};

// A response description: read and copied with its request, not used by the
// M-Bus steps.
class TResponseItem : public TObject {
 public:
  std::uint8_t DataType = 1;  // index into "D8" "D16" "D32" "D64" "F32" "F64" "S" "BIT"
  std::string Name;
};

class TRequestItem : public TBasicRequestItem {
 public:
  TRequestItem();
  // The base fields, copies of the source's response items and its
  // parameters, whose Item then points to this copy.
  void Assign(const TBasicRequestItem& source) override;
  // Reads one request element: every setting found depth-first below it
  // (any letter case), missing or unreadable values at their defaults.
  // Params.Device receives the whole Device text; the reader splits it.
  void LoadFromXml(const TjanXMLNode& node, std::int32_t index) override;

  TRequestParameters Params;
};

inline constexpr const char* kDataTypeNames[8] = {"D8",  "D16", "D32", "D64",
                                                  "F32", "F64", "S",   "BIT"};

// A storage or tariff filter text ("1;3, x") in bracket form ("[1][3]"):
// every part that is an integer of 0 or more, in order.
std::string FilterBracketForm(const std::string& text);
// The device addresses of a Device text: split at ";" and ",", trimmed,
// empty parts dropped.
std::vector<std::string> SplitDeviceList(const std::string& text);

// Fills queue's request list from config's document. The timer goes off
// and the list is emptied first; with no config or when !active (the module
// unloads or no data-source state is on) that is all. Otherwise MinPause,
// the schedules, the items (one per distinct device) and Reset. Raises
// when reading fails; the list then stays empty. Host's calling thread
// (the queue's owner thread).
void ReadRequestConfig(TQueueControllerTimer& queue, const TDataSourceCfg* config, bool active);

// The items of a document in list order (exposed for tests and fuzzing):
// what ReadRequestConfig puts into the list, without schedules.
void ReadRequestItems(const std::string& document, TObjectList& into);

// The request fragment the device search offers the dialog: one polled
// request for the selected lines of the search result (each line
// "address||secondary address||..."); unitsIndex 1 s, 2 min, 3 h, else ms.
std::string BuildRequestFragment(const std::vector<std::string>& lines,
                                 const std::vector<std::int32_t>& selected, std::int32_t interval,
                                 std::int32_t unitsIndex);
