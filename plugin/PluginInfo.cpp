// GetModuleInfo and GetLogEx: what the host reads from an instance without
// taking its command lock.
#include <cstring>
#include <string>

#include "platform/Text.h"
#include "plugin/PluginBoundary.h"
#include "plugin/korPluginModule.h"

namespace kor {

namespace {

// Module texts go out as UTF-8, converted from the system code page.
std::string ToUtf8(const std::string& ansi) {
  return plat::WideToUtf8(plat::AnsiToWide(ansi));
}

void FillHeader(TPluginModuleInfo& info, const TkorPlugin& instance) {
  const std::uint32_t capacity = info.Size;
  std::memset(&info, 0, sizeof(TPluginModuleInfo));
  info.Size = capacity;
  info.ModuleType =
      instance.ModuleType | (static_cast<std::uint32_t>(instance.Capabilities & 7) << 16);
  info.InterfaceVersion = kInterfaceVersion;
  info.VersionNumber = instance.VersionNumber;
  info.InfoFlag = instance.InfoFlag;
}

// Copies a text to the buffer at offset; its address there, 0 for none.
TPluginPtr PlaceText(TPluginModuleInfo& info, std::size_t offset, const std::string& text) {
  if (text.empty()) return 0;
  char* at = reinterpret_cast<char*>(&info) + offset;
  std::memcpy(at, text.data(), text.size());  // NOLINT(bugprone-not-null-terminated-result)
  return reinterpret_cast<TPluginPtr>(at);
}

}  // namespace

std::uint8_t GetModuleInfo(TPluginCallRec* rec, TPluginModuleInfo* info,
                           std::uint32_t* needed) noexcept {
  try {
    if (needed) *needed = 0;
    TkorPlugin* instance = FindInstance(rec);
    if (!instance) return 0;
    const std::string description = ToUtf8(instance->Description);
    const std::string commands = ToUtf8(instance->CommandListText());
    const std::size_t total = kModuleInfoHeaderSize + description.size() + commands.size();
    if (needed) *needed = static_cast<std::uint32_t>(total);
    if (!info || info->Size < kModuleInfoHeaderSize) return 0;
    FillHeader(*info, *instance);
    if (total > info->Size) return 0;
    // The header is packed: its fields are assigned, never bound to references.
    info->DescriptionText = PlaceText(*info, kModuleInfoHeaderSize, description);
    info->DescriptionLength = static_cast<std::uint32_t>(description.size());
    info->CommandsText = PlaceText(*info, kModuleInfoHeaderSize + description.size(), commands);
    info->CommandsLength = static_cast<std::uint32_t>(commands.size());
    return 1;
  } catch (...) {
    return 0;
  }
}

std::int32_t GetLogEx(TPluginCallRec* rec) noexcept {
  try {
    if (!rec) return 0;
    rec->OutData.Kind = kKindStatus;
    rec->OutData.Value = 0;
    TkorPlugin* instance = FindInstance(rec);
    if (!instance) return 0;
    TLogFetch fetch = instance->FetchLog(RecPointer<void>(rec->InData.Value), rec->InData.Size);
    rec->OutData.Value = fetch.Length;
    return fetch.Copied;
  } catch (...) {
    return 0;
  }
}

}  // namespace kor
