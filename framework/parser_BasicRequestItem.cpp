#include "framework/parser_BasicRequestItem.h"

#include <limits>

#include "framework/SysUtils.h"
#include "params/janXMLTree.h"
#include "params/korParamLst.h"

namespace {

TRequestMethod ReadMethod(const TjanXMLNode& node) {
  for (const TRequestMethodElement& element : kRequestMethodElements)
    if (XmlChildBool(node, element.Name)) return element.Method;
  return MethodOnce;
}

std::uint32_t ReadPollInterval(const TjanXMLNode& node) {
  const TjanXMLNode* units = node.FindChild("PollUnits");
  const std::string text = units != nullptr ? XmlElementText(*units) : std::string();
  return ScalePollInterval(
      XmlChildInt(node, "PollInterval", TBasicRequestItem::kDefaultPollInterval),
      units != nullptr ? &text : nullptr);
}

}  // namespace

const std::array<TRequestMethodElement, kRequestMethodCount> kRequestMethodElements = {{
    {"MethodAtTime", MethodAtTime},
    {"MethodCron", MethodCron},
    {"MethodOnce", MethodOnce},
    {"MethodEvent", MethodEvent},
    {"MethodPoll", MethodPoll},
}};

std::uint32_t ScalePollInterval(std::int32_t number, const std::string* units) {
  struct TPollUnit {
    const char* Name;
    std::uint32_t Factor;
  };
  constexpr TPollUnit kPollUnits[] = {{"S", 1000}, {"M", 60000}, {"H", 3600000}};
  const std::uint64_t ms =
      number < 0 ? TBasicRequestItem::kDefaultPollInterval : static_cast<std::uint64_t>(number);
  std::uint64_t factor = 1;
  if (units != nullptr) {
    for (const TPollUnit& unit : kPollUnits)
      if (*units == unit.Name) factor = unit.Factor;
  }
  const std::uint64_t scaled = ms * factor;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(scaled > kMax ? kMax : scaled);
}

// ---- helpers

bool TryParseInt32(const std::string& text, std::int32_t& value) {
  const std::string t(Trim(text));
  std::size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  if (i == t.size()) return false;
  std::int64_t n = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    n = n * 10 + (t[i] - '0');
    if (n > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) return false;
  }
  if (negative) n = -n;
  if (n > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(n);
  return true;
}

std::string XmlElementText(const TjanXMLNode& element) {
  return std::string(Trim(element.Text()));
}

bool XmlChildBool(const TjanXMLNode& node, const std::string& name, bool def) {
  const TjanXMLNode* child = node.FindChild(name);
  if (child == nullptr) return def;
  const std::string text = XmlElementText(*child);
  if (!text.empty()) return text == "1";
  return Trim(child->GetAttribute("check")) == "2";
}

std::string XmlChildText(const TjanXMLNode& node, const std::string& name, const std::string& def) {
  const TjanXMLNode* child = node.FindChild(name);
  if (child == nullptr) return def;
  std::string text = XmlElementText(*child);
  return text.empty() ? def : text;
}

std::int32_t XmlChildInt(const TjanXMLNode& node, const std::string& name, std::int32_t def) {
  const TjanXMLNode* child = node.FindChild(name);
  std::int32_t value = def;
  if (child != nullptr && TryParseInt32(child->Text(), value)) return value;
  return def;
}

std::vector<std::string> SplitCronFields(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t from = 0;
  for (;;) {
    const std::size_t space = text.find(' ', from);
    fields.push_back(text.substr(from, space == std::string::npos ? space : space - from));
    if (space == std::string::npos) break;
    from = space + 1;
  }
  // From the last field towards the second: an empty field after an empty one goes.
  for (std::size_t i = fields.size() - 1; i >= 1; --i)
    if (fields[i].empty() && fields[i - 1].empty()) fields.erase(fields.begin() + i);
  return fields;
}

TExportCronParams CronParamsFromText(const std::string& text) {
  TExportCronParams params;
  const std::vector<std::string> fields = SplitCronFields(text);
  if (fields.size() < params.size()) return params;
  for (std::size_t i = 0; i < params.size(); ++i) params[params.size() - 1 - i] = fields[i];
  return params;
}

// ---- TBasicRequestItem

TBasicRequestItem::TBasicRequestItem() = default;
TBasicRequestItem::~TBasicRequestItem() = default;

void TBasicRequestItem::Assign(const TBasicRequestItem& source) {
  if (&source == this) return;
  Enabled = source.Enabled;
  Name = source.Name;
  Method = source.Method;
  PollInterval = source.PollInterval;
  Schedule = source.Schedule;
  Triggered = source.Triggered;
  ScheduleKey = source.ScheduleKey;
  Busy = false;
  PollTimer.Clear();
}

void TBasicRequestItem::LoadFromXml(const TjanXMLNode& node, std::int32_t index) {
  Enabled = XmlChildBool(node, "Enabled");
  Name = node.GetAttribute("caption");
  if (Name.empty()) Name = "Request #" + std::to_string(index);
  Method = ReadMethod(node);
  PollInterval = ReadPollInterval(node);
  Schedule.Clear();
  Schedule.Method = Method;
  switch (Method) {
    case MethodAtTime:
      Schedule.Text = XmlChildText(node, "AtTime", kDefaultAtTime);
      break;
    case MethodEvent:
      Schedule.Text = XmlChildText(node, "EventId");
      break;
    case MethodCron:
      Schedule.Text = XmlChildText(node, "CronTime", kDefaultCronTime);
      Schedule.CronParams = CronParamsFromText(Schedule.Text);
      break;
    default:
      break;
  }
}
