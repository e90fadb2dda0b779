#include "host/HostEntryPoints.h"

#include <map>
#include <mutex>
#include <string>

#include "host/PluginHost.h"
#include "params/korParamLstIntf.h"
#include "platform/Modules.h"

namespace host {

namespace {

struct THostTable {
  std::mutex Lock;
  std::map<std::int32_t, TPluginHost*> Hosts;
};

THostTable& Table() {
  static THostTable table;
  return table;
}

// The items of a parsed-data delivery as name and text.
void ReadValues(IkorParamsListA& list, TReceivedData& data) {
  for (std::int32_t i = 0; i < list.GetCount(); ++i) {
    TIntfRef<IkorParamsListItemA> item;
    if (list.GetItem(i, item.Put()) != plat::kSOk || !item) continue;
    const char* name = item->GetName();
    std::string text;
    OleVariant value;
    try {
      value = HostItemValue(*item.Get());
      text = VariantText(value);
    } catch (const std::exception&) {
      text = "(unreadable)";
    }
    data.Values.emplace_back(name ? name : "", text);
    data.Items.push_back(std::move(value));
  }
}

// Kind 9: the record carries the packet text in InData and the list in
// OutData (the address of an IkorParamsListA variable).
void ReadParsedData(const kor::TPluginCallRec* rec, TReceivedData& data) {
  if (!rec) return;
  if (rec->InData.Kind == kor::kKindText && rec->InData.Value != 0)
    data.Raw.assign(kor::RecPointer<const char>(rec->InData.Value), rec->InData.Size);
  if (rec->OutData.Kind != kor::kKindParamsIntfW || rec->OutData.Value == 0) return;
  auto* variable = kor::RecPointer<IkorParamsListA* const>(rec->OutData.Value);
  if (*variable) ReadValues(**variable, data);
}

std::int32_t Deliver(std::int32_t moduleIndex, std::int32_t dataSourceId, std::int32_t count,
                     std::int32_t kind, const void* bytes) {
  TReceivedData data;
  data.DataSourceId = dataSourceId;
  data.Kind = kind;
  if (kind == kor::kSendParsedData)
    ReadParsedData(static_cast<const kor::TPluginCallRec*>(bytes), data);
  else if (bytes && count > 0)
    data.Raw.assign(static_cast<const char*>(bytes), static_cast<std::size_t>(count));
  THostTable& table = Table();
  std::lock_guard<std::mutex> lock(table.Lock);
  auto it = table.Hosts.find(moduleIndex);
  if (it == table.Hosts.end()) return -1;
  return it->second->Receive(std::move(data));
}

}  // namespace

void RegisterHost(std::int32_t moduleIndex, TPluginHost* host) {
  THostTable& table = Table();
  std::lock_guard<std::mutex> lock(table.Lock);
  table.Hosts[moduleIndex] = host;
}

void UnregisterHost(TPluginHost* host) {
  THostTable& table = Table();
  std::lock_guard<std::mutex> lock(table.Lock);
  for (auto it = table.Hosts.begin(); it != table.Hosts.end();)
    it = it->second == host ? table.Hosts.erase(it) : std::next(it);
}

}  // namespace host

extern "C" {

// Data from the plug-in: kind 9 parsed values (data is a call record),
// kind 129 raw bytes for the data source's connection. The result is the
// number of bytes taken for kind 129, 0 for kind 9, -1 for an unknown
// module index or an error.
KOR_PROGRAM_EXPORT std::int32_t KOR_STDCALL Vornak_SendDataEx(std::int32_t moduleIndex,
                                                              std::int32_t dataSourceId,
                                                              std::int32_t count, std::int32_t,
                                                              std::int32_t kind, void* data,
                                                              std::int32_t) {
  try {
    return host::Deliver(moduleIndex, dataSourceId, count, kind, data);
  } catch (...) {
    return -1;
  }
}

// The other four are looked up by the plug-in and never called; each
// answers 0.
KOR_PROGRAM_EXPORT std::int32_t KOR_STDCALL Vornak_SendNotify() {
  return 0;
}
KOR_PROGRAM_EXPORT std::int32_t KOR_STDCALL Vornak_DataSourceData() {
  return 0;
}
KOR_PROGRAM_EXPORT std::int32_t KOR_STDCALL Vornak_DataSourceState() {
  return 0;
}
KOR_PROGRAM_EXPORT std::int32_t KOR_STDCALL Vornak_ManageDynForm() {
  return 0;
}

}  // extern "C"

namespace host {

void* const* HostEntryPointAddresses() {
  static void* const addresses[5] = {reinterpret_cast<void*>(&Vornak_SendNotify),
                                     reinterpret_cast<void*>(&Vornak_SendDataEx),
                                     reinterpret_cast<void*>(&Vornak_DataSourceData),
                                     reinterpret_cast<void*>(&Vornak_DataSourceState),
                                     reinterpret_cast<void*>(&Vornak_ManageDynForm)};
  return addresses;
}

}  // namespace host
