// Arbitrary documents to the XML reader, and every element of the tree to
// the request item reader, as the request configuration loader would. Each
// item must come out whole: a known method that its schedule record repeats,
// a name, a poll interval (0 only when the document says 0), schedule texts
// only for the methods that use them, and times of day that are real times.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/parser_BasicRequestItem.h"
#include "framework/parser_RequestSchedule.h"
#include "params/janXMLTree.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool SaysZero(const TjanXMLNode& node) {
  std::int32_t value = -1;
  const TjanXMLNode* child = node.FindChild("PollInterval");
  return child != nullptr && TryParseInt32(child->Text(), value) && value == 0;
}

void CheckItem(const TjanXMLNode& node, std::int32_t index) {
  TBasicRequestItem item;
  item.LoadFromXml(node, index);
  Check(item.Method < kRequestMethodCount);
  Check(item.Schedule.Method == item.Method);
  Check(!item.Name.empty());
  Check(item.PollInterval > 0 || SaysZero(node));
  const bool hasText =
      item.Method == MethodAtTime || item.Method == MethodCron || item.Method == MethodEvent;
  Check(hasText || item.Schedule.Text.empty());
  if (item.Method == MethodAtTime || item.Method == MethodCron) Check(!item.Schedule.Text.empty());
  if (item.Method != MethodCron) {
    for (const std::string& field : item.Schedule.CronParams) Check(field.empty());
  }
  for (const TAtTime& time : ParseAtTimes(item.Schedule.Text)) {
    Check(time.Hour >= 0 && time.Hour <= 23);
    Check(time.Minute >= 0 && time.Minute <= 59);
    Check(time.Second >= 0 && time.Second <= 59);
  }
  const std::string cron = CronTextOfParams(item.Schedule.CronParams);
  Check(cron.size() >= 2 && cron.compare(cron.size() - 2, 2, " *") == 0);
  TBasicRequestItem copy;
  copy.Assign(item);
  Check(copy.Method == item.Method && copy.Name == item.Name &&
        copy.PollInterval == item.PollInterval && copy.Schedule.Text == item.Schedule.Text &&
        copy.Schedule.CronParams == item.Schedule.CronParams);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TjanXMLTree tree;
  tree.SetText(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<const TjanXMLNode*> stack{&tree};
  std::int32_t index = 0;
  while (!stack.empty()) {
    const TjanXMLNode* node = stack.back();
    stack.pop_back();
    CheckItem(*node, index++);
    for (std::int32_t i = 0; i < node->ChildCount(); ++i) stack.push_back(node->Children(i));
  }
  return 0;
}
