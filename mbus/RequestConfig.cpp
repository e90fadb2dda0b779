#include "mbus/RequestConfig.h"

#include <cmath>
#include <limits>
#include <memory>

#include "framework/LockGuards.h"
#include "framework/SysUtils.h"
#include "framework/parser_QueueController.h"
#include "params/CfgOptionsProxy.h"
#include "params/janXMLTree.h"

namespace {

constexpr const char* kDefaultDevice = "1";
constexpr const char* kDefaultDataType = "D16";
constexpr const char* kDefaultResponseName = "ITEM";
constexpr std::int32_t kDefaultTimeout = 3000;
constexpr std::int32_t kMaxCheckState = 5;
constexpr std::int32_t kCheckedState = 2;

// A text element: its trimmed text; def when it is missing or empty.
std::string ReadText(const TjanXMLNode& request, const char* name, const std::string& def = "") {
  const TjanXMLNode* element = request.FindNode(name);
  if (element == nullptr) return def;
  std::string text = XmlElementText(*element);
  return text.empty() ? def : text;
}

// True for the text "1", false for any other text; without text the "check"
// attribute (a tree check state 0..5, 2 checked) decides; anything else,
// a missing element included, gives def.
bool ReadBool(const TjanXMLNode& request, const char* name, bool def) {
  const TjanXMLNode* element = request.FindNode(name);
  if (element == nullptr) return def;
  const std::string text = XmlElementText(*element);
  if (!text.empty()) return text == "1";
  std::int32_t state = -1;
  if (!TryParseInt32(element->GetAttribute("check"), state) || state < 0 || state > kMaxCheckState)
    return def;
  return state == kCheckedState;
}

std::int32_t ReadInt(const TjanXMLNode& request, const char* name, std::int32_t def) {
  const TjanXMLNode* element = request.FindNode(name);
  std::int32_t value = def;
  if (element != nullptr && TryParseInt32(element->Text(), value)) return value;
  return def;
}

TRequestMethod ReadMethod(const TjanXMLNode& request) {
  for (const TRequestMethodElement& element : kRequestMethodElements)
    if (ReadBool(request, element.Name, false)) return element.Method;
  return MethodOnce;
}

std::uint32_t ReadPollInterval(const TjanXMLNode& request) {
  const TjanXMLNode* units = request.FindNode("PollUnits");
  const std::string text = units != nullptr ? XmlElementText(*units) : std::string();
  return ScalePollInterval(
      ReadInt(request, "PollInterval", TBasicRequestItem::kDefaultPollInterval),
      units != nullptr ? &text : nullptr);
}

// A time-out below 1 ms would let a request that never completes hold the
// queue for ever: such values take the default like unreadable ones.
std::int32_t ReadTimeout(const TjanXMLNode& request) {
  const std::int32_t value = ReadInt(request, "Timeout", kDefaultTimeout);
  return value < 1 ? kDefaultTimeout : value;
}

std::uint8_t DataTypeIndex(const std::string& name) {
  for (std::uint8_t i = 0; i < std::size(kDataTypeNames); ++i)
    if (name == kDataTypeNames[i]) return i;
  return 1;
}

void ReadResponses(const TjanXMLNode& request, TObjectList& into) {
  const TjanXMLNode* response = request.FindNode("Response");
  if (response == nullptr) return;
  for (std::int32_t i = 0; i < response->ChildCount(); ++i) {
    const TjanXMLNode& child = *response->Children(i);
    auto item = std::make_unique<TResponseItem>();
    item->DataType = DataTypeIndex(ReadText(child, "DataType", kDefaultDataType));
    item->Name = ReadText(child, "Name", kDefaultResponseName);
    into.Add(item.release());
  }
}

std::vector<std::string> SplitAt(const std::string& text, const char* separators) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find_first_of(separators, from);
    parts.emplace_back(Trim(text.substr(from, at == std::string::npos ? at : at - from)));
    if (at == std::string::npos) return parts;
    from = at + 1;
  }
}

// The items of one request element: one per distinct device part, the
// first with the first part; schedules built for the first when a queue is
// given (copies share its key).
void ReadRequest(const TjanXMLNode& request, std::int32_t index, TQueueControllerTimer* queue,
                 TObjectList& into) {
  auto first = std::make_unique<TRequestItem>();
  first->LoadFromXml(request, index);
  if (queue != nullptr && (first->Method == MethodAtTime || first->Method == MethodCron))
    queue->AddSchedules(*first);
  const std::vector<std::string> devices = SplitDeviceList(first->Params.Device);
  first->Params.Device = devices.empty() ? "0" : devices.front();
  TRequestItem& head = *first;
  into.Add(first.release());
  for (std::size_t i = 1; i < devices.size(); ++i) {
    if (devices[i] == head.Params.Device) continue;
    auto copy = std::make_unique<TRequestItem>();
    copy->Assign(head);
    copy->Params.Device = devices[i];
    into.Add(copy.release());
  }
}

void ReadItems(const std::string& document, TQueueControllerTimer* queue, TObjectList& into) {
  TjanXMLTree tree;
  tree.SetText(document);
  const TjanXMLNode* root = tree.FindNode("MBUS");
  if (root == nullptr) return;
  for (std::int32_t i = 0; i < root->ChildCount(); ++i)
    ReadRequest(*root->Children(i), i + 1, queue, into);
}

std::string XmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else
      out += c;
  }
  return out;
}

// The address of one search result line: its second "||" field, or the
// first when the second is empty.
std::string ResultAddress(const std::string& line) {
  const std::size_t cut = line.find("||");
  const std::string first(Trim(line.substr(0, cut)));
  if (cut == std::string::npos) return first;
  const std::size_t from = cut + 2;
  const std::size_t end = line.find("||", from);
  const std::string second(Trim(line.substr(from, end == std::string::npos ? end : end - from)));
  return second.empty() ? first : second;
}

const char* UnitsText(std::int32_t unitsIndex) {
  switch (unitsIndex) {
    case 1:
      return "S";
    case 2:
      return "M";
    case 3:
      return "H";
    default:
      return "MS";
  }
}

}  // namespace

// ---- TRequestItem

TRequestItem::TRequestItem() {
  Params.Item = this;
}

void TRequestItem::Assign(const TBasicRequestItem& source) {
  if (&source == this) return;
  TBasicRequestItem::Assign(source);
  Responses.Clear();
  for (std::int32_t i = 0; i < source.Responses.Count(); ++i) {
    const auto* from = dynamic_cast<const TResponseItem*>(source.Responses.Items(i));
    if (from == nullptr) continue;
    auto copy = std::make_unique<TResponseItem>();
    copy->DataType = from->DataType;
    copy->Name = from->Name;
    Responses.Add(copy.release());
  }
  if (const auto* request = dynamic_cast<const TRequestItem*>(&source)) Params = request->Params;
  Params.Item = this;
}

void TRequestItem::LoadFromXml(const TjanXMLNode& node, std::int32_t index) {
  Enabled = ReadBool(node, "Enabled", false);
  Name = node.GetAttribute("caption");
  if (Name.empty()) Name = "Request #" + std::to_string(index);
  Responses.Clear();
  ReadResponses(node, Responses);
  Params = TRequestParameters{};
  Params.Item = this;
  Params.StorageNo = FilterBracketForm(ReadText(node, "StorageNo"));
  Params.TariffNo = FilterBracketForm(ReadText(node, "TariffNo"));
  Params.FirstFrame = ReadBool(node, "FirstFrame", false) ? 1 : 0;
  Params.ReadOnlyNew = ReadBool(node, "ReadOnlyNew", true) ? 1 : 0;
  Method = ReadMethod(node);
  PollInterval = ReadPollInterval(node);
  Params.Timeout = ReadTimeout(node);
  Schedule.Clear();
  Schedule.Method = Method;
  if (Method == MethodAtTime) {
    Schedule.Text = ReadText(node, "AtTime", kDefaultAtTime);
  } else if (Method == MethodEvent) {
    Schedule.Text = ReadText(node, "EventId");
  } else if (Method == MethodCron) {
    Schedule.Text = ReadText(node, "CronTime", kDefaultCronTime);
    Schedule.CronParams = CronParamsFromText(Schedule.Text);
  }
  const TjanXMLNode* device = node.FindNode("Device");
  Params.Device = device == nullptr ? kDefaultDevice : device->Text();
}

// ---- reading

std::string FilterBracketForm(const std::string& text) {
  std::string filter;
  if (Trim(text).empty()) return filter;
  for (const std::string& part : SplitAt(text, ";,")) {
    std::int32_t number = -1;
    if (TryParseInt32(part, number) && number >= 0) filter += "[" + std::to_string(number) + "]";
  }
  return filter;
}

std::vector<std::string> SplitDeviceList(const std::string& text) {
  std::vector<std::string> devices;
  for (std::string& part : SplitAt(text, ";,"))
    if (!part.empty()) devices.push_back(std::move(part));
  return devices;
}

void ReadRequestItems(const std::string& document, TObjectList& into) {
  ReadItems(document, nullptr, into);
}

void ReadRequestConfig(TQueueControllerTimer& queue, const TDataSourceCfg* config, bool active) {
  queue.SetTimerEnabled(false);
  {
    TWriteLock list(*queue.Requests);
    list->Clear();
  }
  // The emptied list's scheduled events go with it (also on unload).
  queue.ClearSchedules();
  if (config == nullptr || !active) return;
  const double minPause = config->spMinInt_Value;
  queue.MinPause = std::isfinite(minPause) && minPause > 0 &&
                           minPause < static_cast<double>(std::numeric_limits<std::uint32_t>::max())
                       ? static_cast<std::uint32_t>(minPause)
                       : 0;
  TObjectList items(true);
  ReadItems(config->lblParams_Caption, &queue, items);
  {
    TWriteLock list(*queue.Requests);
    while (items.Count() > 0) {
      TObject* item = items.Items(0);
      list->Add(item);
      items.Extract(item);
    }
  }
  queue.Reset();
}

// ---- the fragment

std::string BuildRequestFragment(const std::vector<std::string>& lines,
                                 const std::vector<std::int32_t>& selected, std::int32_t interval,
                                 std::int32_t unitsIndex) {
  std::string addresses;
  bool any = false;
  for (std::int32_t index : selected) {
    if (index < 0 || static_cast<std::size_t>(index) >= lines.size()) continue;
    if (any) addresses += ";";
    addresses += XmlEscaped(ResultAddress(lines[static_cast<std::size_t>(index)]));
    any = true;
  }
  std::string out = "<MBUS>\r\n<Request><Enabled checked=\"2\" /><Device>";
  out += addresses;
  out += "</Device><Timeout>5000</Timeout>";
  out += "<FirstFrame checked=\"0\" />";
  out += "<ReadOnlyNew checked=\"2\" />";
  out += "<RequestMethod><MethodPoll check=\"2\"><PollInterval>";
  out += std::to_string(interval);
  out += "</PollInterval><PollUnits>";
  out += UnitsText(unitsIndex);
  out += "</PollUnits></MethodPoll></RequestMethod></Request>\r\n</MBUS>";
  return out;
}
