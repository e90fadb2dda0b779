// mbus-host info [PLUGIN]: loads the plug-in, creates and loads an instance
// and prints what the host learns of it: the module information, the
// module parameters, the parser items and the log.
#include <ostream>
#include <sstream>

#include "host/CommandRegistry.h"
#include "host/PluginHost.h"

namespace host {

namespace {

// The module parameters the host can read by name.
const char* const kModuleParameterNames[] = {"LogTitle",
                                             "Description",
                                             "EventsSupported",
                                             "CustomCommands",
                                             "TranslatorComponentProperties",
                                             "ModuleType",
                                             "ModuleEnabled",
                                             "ModuleDllHandle",
                                             "ModuleLoadCount",
                                             "ModuleIndex",
                                             "ModulePluginHandle",
                                             "ModulePath",
                                             "ModuleDataPath",
                                             "AppDataPath",
                                             "ModuleName",
                                             "ModuleLoadForConfig",
                                             "ModuleConfigId",
                                             "ApplicationFullName",
                                             "INIFile",
                                             "ModuleRegistryRoot1",
                                             "ModuleRegistryRoot2",
                                             "ModuleRegistryPath",
                                             "INISectionPrefix",
                                             "DisplayFullVersion",
                                             "ParserItems",
                                             "ParserItemsCount",
                                             "DataSourceLoadFor",
                                             "TerminateNow",
                                             "IsTemporaryLoad",
                                             "ParentApp",
                                             "OWNER-FORM",
                                             "TESTTRANSL"};

// Every line of a multi-line text, indented; "(none)" for an empty one.
void PrintBlock(std::ostream& out, const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  bool any = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    out << "  " << line << "\n";
    any = true;
  }
  if (!any) out << "  (none)\n";
}

std::string Flags16(std::uint16_t bits) {
  std::string text;
  for (int i = 0; i < 16; ++i)
    if (bits & (1u << i)) text += (text.empty() ? "" : ",") + std::to_string(i);
  return "{" + text + "}";
}

void PrintModuleInfo(std::ostream& out, const TModuleInfo& info) {
  out << "Description: " << info.Description << "\n";
  out << "Module type: " << info.ModuleType << " " << Flags16(info.ModuleType) << "\n";
  out << "Capabilities: " << info.Capabilities << " " << Flags16(info.Capabilities) << "\n";
  out << "Interface version: " << info.InterfaceVersion << "\n";
  out << "Version number: " << info.VersionNumber << "\n";
  out << "Info flag: " << static_cast<int>(info.InfoFlag) << "\n";
  out << "Commands:\n";
  PrintBlock(out, info.Commands);
}

void PrintModuleParameters(std::ostream& out, TPluginHost& host) {
  out << "Module parameters:\n";
  for (const char* name : kModuleParameterNames) {
    std::string value = VariantText(host.GetModuleParameter(name));
    for (char& c : value)
      if (c == '\r' || c == '\n') c = ' ';
    out << "  " << name << " = " << value << "\n";
  }
}

// Log lines start with the level character (level + 1); shown as a number.
void PrintLog(std::ostream& out, const std::string& log) {
  std::ostringstream shown;
  std::istringstream lines(log);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    int level = (static_cast<unsigned char>(line[0]) & 0x7F) - 1;
    shown << "[" << level << "] " << line.substr(1) << "\n";
  }
  out << "Log:\n";
  PrintBlock(out, shown.str());
}

int RunInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() > 1) {
    err << "usage: mbus-host info [PLUGIN]\n";
    return 2;
  }
  const std::string path = args.empty() ? DefaultPluginPath() : args[0];
  TPluginHost host(path);
  if (host.Create() != 0) throw EPluginHostError("CreatePluginInstance refused");
  if (host.Load() != 0) throw EPluginHostError("LOAD failed");
  host.Pump(0);
  out << "Plug-in: " << path << "\n";
  PrintModuleInfo(out, host.ModuleInfo());
  PrintModuleParameters(out, host);
  out << "Parser items:\n";
  PrintBlock(out, host.Items());
  host.Pump(0);
  host.Unload();
  PrintLog(out, host.LogText());
  return 0;
}

// Registration runs before main(); a failure there ends the program.
const TCommandRegistration kInfo(  // NOLINT(cert-err58-cpp)
    {"info", "info [PLUGIN]",
     "Prints the plug-in's module information, module parameters, "
     "parser items and log (default: the plug-in beside mbus-host).",
     &RunInfo});

}  // namespace

}  // namespace host
