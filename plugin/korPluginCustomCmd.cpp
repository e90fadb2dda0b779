#include "plugin/korPluginCustomCmd.h"

#include "plugin/korPluginText.h"

TkorPluginCustomCmdList::~TkorPluginCustomCmdList() {
  RemoveAll();
}

void TkorPluginCustomCmdList::Notify(void* item, TListNotification action) {
  if (action == TListNotification::Deleted && OwnsItems)
    delete static_cast<TkorPluginCustomCmd*>(item);
}

TkorPluginCustomCmd* TkorPluginCustomCmdList::Add(std::string_view text1, std::string_view text2,
                                                  std::string_view text3, bool flag1, bool flag2) {
  auto* item = new TkorPluginCustomCmd();
  item->Text1 = text1;
  item->Text2 = text2;
  item->Text3 = text3;
  item->Flag1 = flag1;
  item->Flag2 = flag2;
  try {
    TList::Add(item);
  } catch (...) {
    delete item;
    throw;
  }
  return item;
}

std::string TkorPluginCustomCmdList::AsText() const {
  std::string text;
  for (std::int32_t i = 0; i < Count(); ++i) {
    const TkorPluginCustomCmd* item = Items(i);
    text += item->Text1 + "|" + item->Text2 + "|" + item->Text3 + "|";
    text += item->Flag1 ? "1|" : "0|";
    text += item->Flag2 ? "1\r\n" : "0\r\n";
  }
  return text;
}

void TkorPluginCustomCmdList::FromText(std::string_view text) {
  for (const std::string& line : plugtext::SplitLines(text)) {
    if (line.empty()) continue;
    std::vector<std::string> fields = plugtext::SplitFields(line, '|');
    if (fields.size() < 5) continue;
    Add(fields[0], fields[1], fields[2], fields[3] == "1", fields[4] == "1");
  }
}
