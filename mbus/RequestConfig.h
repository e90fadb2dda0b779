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

#include "framework/parser_BasicRequestItem.h"

class TRequestItem;

// What one request asks of the worker.
struct TRequestParameters {
  // The single device address as configured: primary number, identification
  // number ("s" + decimal allowed) or 16-character mask, optionally followed
  // by a comment in parentheses. Also the key of the device's last time point.
  std::string Device;
  std::string Reserved;           // carried, never read
  std::uint8_t Normalized = 0;    // the worker sets it in its own copy
  std::uint8_t FirstFrame = 0;    // read the first response frame only
  std::uint8_t ReadOnlyNew = 1;   // drop stored rows already delivered
  std::string StorageNo;          // filter in bracket form "[0][1]"; empty keeps all
  std::string TariffNo;           // the same for tariffs
  std::int32_t Timeout = 3000;    // ms
  TRequestItem* Item = nullptr;   // the owning item; not owned
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

  TRequestParameters Params;
};
