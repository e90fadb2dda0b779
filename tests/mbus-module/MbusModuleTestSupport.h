// Shared pieces of the in-process module tests: a host entry point that
// records what the module hands over (and answers as told), and a loaded
// TaPlugin on the plug-in module tests' fake host with a data folder of its
// own.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "ModuleTestSupport.h"
#include "mbus/PluginDM.h"
#include "mbus/SerialPortDM.h"

namespace mbustest {

// What the fake Vornak_SendDataEx received (kind 9 deliveries).
struct TDelivery {
  std::int32_t DataSourceId = 0;
  std::string RawText;
  std::vector<std::pair<std::string, std::string>> Items;  // name, value as text
  std::int32_t Rows() const;                               // row markers
  // The value of the n-th (0-based) item of that name, or "(none)".
  std::string Value(const std::string& name, std::int32_t nth = 0) const;
};

struct TFakeHostData {
  std::int32_t Answer = 0;  // what every delivery is answered
  std::vector<TDelivery> Deliveries;
  std::int32_t RawSends = 0;
};
TFakeHostData& HostData();
void* FakeSendDataExAddress();

// A module on the fake host with its own data folder; not loaded.
class ModuleTest : public ::testing::Test {
 protected:
  ModuleTest();
  ~ModuleTest() override;

  // LOAD with the host's entry point in place.
  void Load();
  // SET-STATE for states 0 and 1 with the data-source text.
  std::int32_t SetState(const std::string& sources, std::int32_t on = 1, std::uint8_t mode = 0x03);
  // Stores the request document as the setting "Parser config" in Ini.
  void StoreDocument(const std::string& document);
  std::string Log() { return TakeLog(Module); }
  double StoredTimePoint(const std::string& device) const;

  std::filesystem::path Folder;
  std::string Ini;
  TFakeHost Host;
  TaPlugin Module{nullptr, 0};
};

}  // namespace mbustest
