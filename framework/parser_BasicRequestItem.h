// Request items: one request a data source sends on its own initiative (how
// it is triggered, and the run-time bookkeeping the queue controller needs),
// and the guarded list of them that a queue controller owns.
//
// Threads and locks: an item is filled by the configuration loader before it
// enters a list; from then on it is reached only through the list's lock.
// The run-time fields (Busy, Triggered, Attempts, RequestId, LastStart,
// PollTimer, EventParams) are changed only by the queue controller, which
// also holds its own lock while it does (framework/parser_QueueController.h).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/Thread_ObjectList.h"
#include "framework/korTimeout.h"

class TjanXMLNode;
class TkorParamsList;

enum TRequestMethod : std::uint8_t {
  MethodOnce = 0,    // sent one time after the list is loaded
  MethodPoll = 1,    // sent every PollInterval ms
  MethodAtTime = 2,  // sent at the times of day listed in Schedule.Text
  MethodCron = 3,    // sent on the cron schedule in Schedule.CronParams
  MethodEvent = 4,   // sent when the host raises the event named in Schedule.Text
};
inline constexpr std::uint8_t kRequestMethodCount = 5;

// The cron fields, stored last field first: 0 day of week, 1 month, 2 day of
// month, 3 hours, 4 minutes, 5 seconds. Empty: the field was not given.
using TExportCronParams = std::array<std::string, 6>;

struct TExportUnchangedMode {
  std::uint8_t Method = MethodOnce;  // a copy of the item's method
  std::string Text;                  // times of day, event name or cron text
  TExportCronParams CronParams;

  void Clear() { *this = TExportUnchangedMode{}; }
};

class TBasicRequestItem : public TObject {
 public:
  static constexpr std::uint32_t kDefaultPollInterval = 1000;

  TBasicRequestItem();
  ~TBasicRequestItem() override;

  // Copies Enabled, Name, Method, PollInterval, Schedule, Triggered and
  // ScheduleKey; the copy is idle (Busy false, PollTimer cleared). Run-time
  // counters, Responses and EventParams are not copied.
  virtual void Assign(const TBasicRequestItem& source);
  // Reads a request element (see docs/queue-controller.md for the rules);
  // index names a request without a caption ("Request #index"). Never raises
  // for bad content: missing or unreadable values take their defaults.
  virtual void LoadFromXml(const TjanXMLNode& node, std::int32_t index);

  bool Enabled = false;
  bool Busy = false;  // sent and not finished; a finished MethodOnce item stays busy
  std::string Name;
  TRequestMethod Method = MethodOnce;
  std::uint32_t PollInterval = 0;  // ms
  std::int32_t RequestId = -1;     // the data source's id of the last send
  bool Triggered = false;          // its schedule or host event fired, not yet sent
  std::string ScheduleKey;         // ties the item to its scheduled events
  TObjectList Responses{true};     // response descriptions of a descendant; owned
  std::uint8_t Attempts = 0;       // tries of the current send
  std::uint8_t MaxAttempts = 1;
  TExportUnchangedMode Schedule;
  TTickTimeout PollTimer;                       // counts from the last send
  std::uint64_t LastStart = 0;                  // tick of the last send; 0 never
  std::unique_ptr<TkorParamsList> EventParams;  // the last triggering event's parameters
};

// An owning guarded list of TBasicRequestItem (and descendants).
class TBasicRequestList : public TThreadObjectList {
 public:
  TBasicRequestList() : TThreadObjectList(true) {}
};

// ---- reading helpers, shared with the request configuration reader

// The method elements of a request, in the order in which the first that
// reads true decides (none true: MethodOnce).
struct TRequestMethodElement {
  const char* Name;
  TRequestMethod Method;
};
extern const std::array<TRequestMethodElement, kRequestMethodCount> kRequestMethodElements;
inline constexpr const char* kDefaultAtTime = "12:00:00";
inline constexpr const char* kDefaultCronTime = "0 0 12 * * *";

// A poll interval in ms from its number (negative: the default) and its
// units text, compared exactly ("S", "M", "H"; none or anything else, "s"
// included, is ms); a product beyond 32 bits is held at the largest value
// instead of wrapping round to a short interval.
std::uint32_t ScalePollInterval(std::int32_t number, const std::string* units);

// A decimal 32-bit number with an optional sign, blanks around ignored;
// false (value untouched) for anything else, an overflow included.
bool TryParseInt32(const std::string& text, std::int32_t& value);

// The text of an element with surrounding blanks removed.
std::string XmlElementText(const TjanXMLNode& element);
// An element is true when its text is "1", or when it has no text and its
// "check" attribute is 2. A missing child is def.
bool XmlChildBool(const TjanXMLNode& node, const std::string& name, bool def = false);
// A missing child or an empty text is def.
std::string XmlChildText(const TjanXMLNode& node, const std::string& name,
                         const std::string& def = "");
// A decimal 32-bit number (sign allowed, blanks around ignored); def when the
// child is missing or its text is no such number.
std::int32_t XmlChildInt(const TjanXMLNode& node, const std::string& name, std::int32_t def);

// A cron text split at single spaces, where a run of spaces leaves at most
// one empty field (the first field is kept even when empty).
std::vector<std::string> SplitCronFields(const std::string& text);
// The first six fields of text into the record (seconds into index 5 ...
// day of week into index 0); with fewer than six fields all stay empty.
TExportCronParams CronParamsFromText(const std::string& text);
