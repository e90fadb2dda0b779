// The settings store on a host INI file of 200 sections of 10 keys: the
// document alone (parse, change the module's eight keys, write the text),
// and a whole save of the module's properties to disk (lock, read, change,
// flushed atomic replace).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "params/CfgOptionsProxy.h"
#include "params/IniFiles.h"
#include "params/TWregistry.h"
#include "platform/Files.h"

namespace {

std::string HostFile() {
  std::string text = "; host settings\r\n";
  for (int s = 0; s < 200; ++s) {
    text += "[Section" + std::to_string(s) + "]\r\n";
    for (int k = 0; k < 10; ++k)
      text += "Key" + std::to_string(k) + " = value " + std::to_string(s * 10 + k) + "\r\n";
    text += "\r\n";
  }
  return text + "[MBUS.Common]\r\nLeft=1\r\n";
}

const char* const kProperties[] = {"Left,Left",
                                   "Top,Top",
                                   "Height,Height",
                                   "Width,Width",
                                   "lblParams.Caption,Parser config",
                                   "OpenDialog.FileName,Open files dir",
                                   "SaveDialog.FileName,Save files dir",
                                   "spMinInt.Value,Min interval"};

void IniDocumentChangeEightKeys(benchmark::State& state) {
  const std::string host = HostFile();
  for (auto _ : state) {
    TIniDocument doc(host);
    for (const char* entry : kProperties) {
      std::string name = std::string(entry).substr(std::string(entry).find(',') + 1);
      doc.WriteString("MBUS.Common", name, "<MBUS>\r\n</MBUS>");
    }
    benchmark::DoNotOptimize(doc.Text());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(host.size()));
}
BENCHMARK(IniDocumentChangeEightKeys);

void SaveModuleSettingsToDisk(benchmark::State& state) {
  const std::string file =
      (std::filesystem::temp_directory_path() / "kor-settings-bench.ini").string();
  plat::ReplaceFileAtomically(file, HostFile());
  TDataSourceCfg cfg(nullptr);
  int n = 0;
  for (auto _ : state) {
    cfg.Left = ++n;  // a change every time, so every save writes
    TWreg store;
    store.INIFile = file;
    store.INIFileSectionPrefix = "MBUS";
    for (const char* entry : kProperties) store.Components.Add(entry);
    benchmark::DoNotOptimize(store.Save(cfg));
  }
  std::filesystem::remove(file);
}
BENCHMARK(SaveModuleSettingsToDisk)->Unit(benchmark::kMillisecond);

}  // namespace
