// Test support: a host played through the module's environment table, and
// call records whose Params carry a real parameter-list interface, as the
// exports hand them to the module.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "params/korParamLstWrap.h"
#include "plugin/korPluginEnv.h"
#include "plugin/korPluginModule.h"

struct TPostedMessage {
  std::uintptr_t Window;
  std::uint32_t Message;
  std::uintptr_t WParam;
  bool Sent;  // delivered by the blocking send, not posted
  unsigned TimeoutMs;
};

// The host as the module sees it through TkorPluginEnv. One at a time.
class TFakeHost {
 public:
  TFakeHost();
  ~TFakeHost();

  static TFakeHost& Current();

  std::mutex Lock;  // guards everything below
  std::vector<TPostedMessage> Messages;
  bool PostWorks = true;
  std::map<std::string, std::uintptr_t> LoadedModules;
  std::map<std::string, void*> Symbols;  // of every module
  std::uintptr_t LastSymbolModule = 0;
  std::string LibraryFile = "/opt/host/plugins/mbusplugin.so";
  std::string ProgramFile = "/opt/host/host.exe";
  std::string Version = "1.2.3.4";
  std::string AppData = "/data/common";
  std::vector<std::string> Arguments;
  std::map<std::string, std::string> Files;
  std::vector<std::string> DebugLines;

  std::vector<TPostedMessage> MessagesOf(std::uint32_t message);

 private:
  static TFakeHost* FCurrent;
};

// One host call: a parameter list behind its interface, and a call record
// whose Params is the address of the list's IkorParamsListA reference.
class TCall {
 public:
  TCall();
  ~TCall();
  TCall(const TCall&) = delete;
  TCall& operator=(const TCall&) = delete;

  TCall& Set(const char* name, const OleVariant& value);
  TCall& Set(const char* name, const char* text) { return Set(name, OleVariant(text)); }
  TCall& Set(const char* name, std::int32_t value) { return Set(name, OleVariant(value)); }
  // Adds the item "RESULT" (Empty) that commands write their value into.
  TCall& WithResult() { return Set("RESULT", OleVariant()); }
  OleVariant Result() const;
  TkorParamsList& List() const { return *FWrap->List(); }

  kor::TPluginCallRec Rec{};

 private:
  TkorParamsListWrap* FWrap;
};

// Runs one command with the given call.
std::int32_t RunCommand(TkorPlugin& module, const std::string& command, TCall& call);
std::int32_t RunCommand(TkorPlugin& module, const std::string& command);

// Fetches (and so empties) the module's whole log.
std::string TakeLog(TkorPlugin& module);
