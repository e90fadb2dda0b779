// Shared helpers of the boundary tests: the plug-in libraries beside the
// test program, a host with a created (and loaded) instance, and call
// records built the way the host builds them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/PluginHost.h"
#include "params/korParamLst.h"
#include "platform/Modules.h"
#include "plugin/PluginRecords.h"

namespace plugtest {

// name.dll on Windows, name.so on posix, in the test program's folder.
inline std::string LibraryPath(const std::string& name) {
  std::string self = plat::ModuleFileName(plat::ExecutableModule());
  auto slash = self.find_last_of(plat::kPathDelimiter);
  std::string folder = slash == std::string::npos ? std::string() : self.substr(0, slash + 1);
  return folder + name + (plat::kPathDelimiter == '\\' ? ".dll" : ".so");
}

inline const char* const kTestPlugin = "testplugin";
inline const char* const kGenericPlugin = "genericplugin";

// A host with one instance, created and (unless told otherwise) loaded.
inline std::unique_ptr<host::TPluginHost> MakeHost(const std::string& library, bool load = true,
                                                   const host::TLoadOptions& options = {}) {
  auto host = std::make_unique<host::TPluginHost>(LibraryPath(library));
  EXPECT_EQ(host->Create(), kor::kResultOk);
  if (load) {
    EXPECT_EQ(host->Load(options), kor::kResultOk);
  }
  return host;
}

// A fresh record for the instance of host (its handle and index).
inline kor::TPluginCallRec RecordFor(host::TPluginHost& host) {
  kor::TPluginCallRec rec{};
  rec.Size = kor::kCallRecSize;
  rec.ModulePluginHandle = host.Record().ModulePluginHandle;
  rec.ModuleIndex = host.Record().ModuleIndex;
  return rec;
}

// A copy of a (packed) record field, so that checks never bind a reference
// to a misaligned field.
template <class T>
T V(T value) {
  return value;
}

inline kor::TPluginPtr Address(const void* pointer) {
  return reinterpret_cast<kor::TPluginPtr>(pointer);
}

// A command through a raw record; the list receives COMMAND.
inline std::int32_t RawCommand(host::TPluginHost& host, kor::TPluginCallRec& rec,
                               const std::string& name, TkorParamsList& params) {
  params.SetValue("COMMAND", OleVariant(name), true);
  rec.Params = Address(&params);
  return host.Exports().ExecutePluginCommand(&rec);
}

// An integer module parameter.
inline std::int32_t IntParameter(host::TPluginHost& host, const std::string& name) {
  return host.GetModuleParameter(name).AsInteger();
}

// RESULT of a test-plug-in command run through the host.
inline OleVariant CommandResult(host::TPluginHost& host, const std::string& name,
                                std::int32_t* result = nullptr) {
  TkorParamsList params;
  params.Add("RESULT", OleVariant());
  std::int32_t r = host.Command(name, params);
  if (result) *result = r;
  return params.GetValue("RESULT");
}

// The test plug-in's counter "process" or "settings" from STATS.
inline std::int32_t Stat(host::TPluginHost& host, const std::string& key) {
  std::string stats = CommandResult(host, "STATS").AsAnsiString();
  auto at = stats.find(key + "=");
  if (at == std::string::npos) return -1;
  return std::stoi(stats.substr(at + key.size() + 1));
}

}  // namespace plugtest
