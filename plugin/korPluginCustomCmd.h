// The plug-in command list the module reports to the host: five fields per
// command, stored and returned unchanged. Not thread-safe: the module touches
// it only inside host commands (under its command lock) and GetModuleInfo.
#pragma once

#include <string>
#include <string_view>

#include "framework/Classes.h"

class TkorPluginCustomCmd : public TObject {
 public:
  std::string Text1;
  std::string Text2;
  std::string Text3;
  bool Flag1 = false;
  bool Flag2 = false;
};

// Owns its items (frees one when it is removed) while OwnsItems is set.
class TkorPluginCustomCmdList : public TList {
 public:
  ~TkorPluginCustomCmdList() override;

  TkorPluginCustomCmd* Items(std::int32_t index) const {
    return static_cast<TkorPluginCustomCmd*>(Get(index));
  }
  TkorPluginCustomCmd* Add(std::string_view text1, std::string_view text2, std::string_view text3,
                           bool flag1, bool flag2);

  // "t1|t2|t3|f1|f2" CR LF for every item; empty for an empty list.
  std::string AsText() const;
  // Appends one item per line of at least five "|"-separated fields (a flag
  // is true when its field is exactly "1"); other lines are skipped.
  void FromText(std::string_view text);

  bool OwnsItems = true;

 protected:
  void Notify(void* item, TListNotification action) override;
};
