#include "ModuleTestSupport.h"

TFakeHost* TFakeHost::FCurrent = nullptr;

namespace {

TkorPluginEnv FakeEnv() {
  TkorPluginEnv env = DefaultPluginEnv();
  env.FindLoadedModule = [](const std::string& name) -> std::uintptr_t {
    TFakeHost& host = TFakeHost::Current();
    std::lock_guard<std::mutex> lock(host.Lock);
    auto it = host.LoadedModules.find(name);
    return it == host.LoadedModules.end() ? 0 : it->second;
  };
  env.FindSymbol = [](std::uintptr_t module, const char* name) -> void* {
    TFakeHost& host = TFakeHost::Current();
    std::lock_guard<std::mutex> lock(host.Lock);
    host.LastSymbolModule = module;
    auto it = host.Symbols.find(name);
    return it == host.Symbols.end() ? nullptr : it->second;
  };
  env.PostMessage = [](std::uintptr_t window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t) {
    TFakeHost& host = TFakeHost::Current();
    std::lock_guard<std::mutex> lock(host.Lock);
    if (!host.PostWorks) return false;
    host.Messages.push_back({window, message, wParam, false, 0});
    return true;
  };
  env.SendMessageTimeout = [](std::uintptr_t window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t, unsigned timeoutMs) {
    TFakeHost& host = TFakeHost::Current();
    std::lock_guard<std::mutex> lock(host.Lock);
    host.Messages.push_back({window, message, wParam, true, timeoutMs});
    return true;
  };
  env.LibraryFileName = []() { return TFakeHost::Current().LibraryFile; };
  env.LibraryVersion = []() { return TFakeHost::Current().Version; };
  env.ProgramFileName = []() { return TFakeHost::Current().ProgramFile; };
  env.CommonAppDataFolder = []() { return TFakeHost::Current().AppData; };
  env.CommandLineArguments = []() { return TFakeHost::Current().Arguments; };
  env.FileExists = [](const std::string& path) {
    return TFakeHost::Current().Files.count(path) > 0;
  };
  env.ReadFile = [](const std::string& path, std::string& content) {
    auto& files = TFakeHost::Current().Files;
    auto it = files.find(path);
    if (it == files.end()) return false;
    content = it->second;
    return true;
  };
  env.DebugOutput = [](const std::string& text) {
    TFakeHost& host = TFakeHost::Current();
    std::lock_guard<std::mutex> lock(host.Lock);
    host.DebugLines.push_back(text);
  };
  env.PathSeparator = '/';
  return env;
}

}  // namespace

TFakeHost::TFakeHost() {
  FCurrent = this;
  SetPluginEnv(FakeEnv());
}

TFakeHost::~TFakeHost() {
  SetPluginEnv(DefaultPluginEnv());
  FCurrent = nullptr;
}

TFakeHost& TFakeHost::Current() {
  return *FCurrent;
}

std::vector<TPostedMessage> TFakeHost::MessagesOf(std::uint32_t message) {
  std::lock_guard<std::mutex> lock(Lock);
  std::vector<TPostedMessage> found;
  for (const TPostedMessage& m : Messages)
    if (m.Message == message) found.push_back(m);
  return found;
}

TCall::TCall() : FWrap(new TkorParamsListWrap(nullptr, false)) {
  Rec.Size = kor::kCallRecSize;
  Rec.Params = reinterpret_cast<kor::TPluginPtr>(FWrap->PinA());
}

TCall::~TCall() {
  FWrap->Free();
}

TCall& TCall::Set(const char* name, const OleVariant& value) {
  FWrap->List()->SetValue(name, value, true);
  return *this;
}

OleVariant TCall::Result() const {
  return FWrap->List()->GetValue("RESULT");
}

std::int32_t RunCommand(TkorPlugin& module, const std::string& command, TCall& call) {
  return module.ExecuteCommand(command, &call.Rec);
}

std::int32_t RunCommand(TkorPlugin& module, const std::string& command) {
  TCall call;
  return RunCommand(module, command, call);
}

std::string TakeLog(TkorPlugin& module) {
  std::string text(1 << 20, '\0');
  TLogFetch fetch = module.FetchLog(text.data(), static_cast<std::uint32_t>(text.size()));
  text.resize(static_cast<std::size_t>(fetch.Copied));
  return text;
}
