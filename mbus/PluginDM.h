// TaPlugin: the M-Bus plug-in's data module, the module class of
// mbusplugin. It keeps the configuration proxy and the text resources,
// creates one TSerialPortDM per host data source, reads the request
// configuration into them, declares the parser items, routes incoming data
// by data-source id and answers the named events of the host and the
// options dialog. See docs/mbus-module.md.
//
// Ownership: FComponents (a component tree) owns Resources and the data
// sources; Config is owned from LOAD to UNLOAD. The module holds one
// reference on the libmbus binding for its lifetime.
//
// Threads: every handler runs on the host's calling thread under the
// module's command lock, except ProcessData, which runs beside commands and
// only reads the data sources (they are created and freed only by
// ChangeState and destruction). The data sources' queues tick on the thread
// that created them; their workers run on their own threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/parser_DataSourceDM.h"
#include "mbus/mbus_api.h"
#include "params/CfgOptionsProxy.h"
#include "params/PluginDM_TextResources.h"
#include "plugin/korPluginModule.h"

class TSerialPortDM;
class TMbusThread;

class TaPlugin : public TkorPlugin, public IDataSourceOwner {
 public:
  TaPlugin(kor::TPluginCallRec* rec, std::uintptr_t moduleHandle);
  // Frees the data sources (queues, then workers) before anything else.
  ~TaPlugin() override;

  // IDataSourceOwner: the module's state flag index.
  bool DataSourceOwnerState(int index) const override { return State(index); }

  // ---- handlers (the module's events)
  void korPluginLoad(kor::TPluginCallRec* rec, std::int32_t& result);
  void korPluginUnload(kor::TPluginCallRec* rec, std::int32_t& result);
  void korPluginChangeState(std::uint8_t mode);
  void korPluginBeforeGetParserItems();
  void korPluginSaveSettingsNow();
  void korPluginLoadSettingsNow();
  void korPluginShowOptionsDialog(bool& changed);
  void korPluginProcessData(kor::TPluginCallRec* rec, std::int32_t& result);
  void korPluginEvent(const std::string& eventType, std::int32_t& result, kor::TPluginCallRec* rec);

  // Loads the settings and reads the document into every data source; an
  // error is logged ("Unable to load configuration: ...") and the module
  // goes on. With start, every data source's queue starts afterwards.
  void ApplyRequestConfig(bool start);
  // The data sources in creation order.
  std::vector<TSerialPortDM*> DataSourceList() const;
  // Searching from the last to the first; -1 matches any (the last one).
  TSerialPortDM* FindDataSource(std::int32_t id) const;

  // The owner of Resources and the data sources.
  TComponent& ComponentOwner() { return FComponents; }

  TTextResources* Resources = nullptr;     // owned through FComponents
  std::unique_ptr<TDataSourceCfg> Config;  // command thread; HasConfig mirrors it
  std::atomic<bool> HasConfig{false};
  // The source of the current or last search (not owned; it may be another
  // module's): only its search id is used, through
  // TSerialPortDM::WithLiveSource, so a freed source is never touched.
  TSerialPortDM* SearchSource = nullptr;
  std::string SearchSourceId;  // SearchSource's search id; empty with none
  std::atomic<bool> Unloading{true};

 private:
  void SynchroniseDataSources();
  void HandleSearchEvent(const std::string& eventType, IkorParamsListA* params, bool& handled);
  // The three search events (PluginDMSearch.cpp); each answers RESULT.
  std::string StartSearch(IkorParamsListA* params);
  std::string SearchStatus(IkorParamsListA* params);
  void CancelSearch(IkorParamsListA* params);
  // The search's wait limits from the Custom module parameters
  // "SearchIdleMs" and "SearchTotalMs", when given.
  void ApplySearchLimits(TMbusThread& worker);
  void HandlePortAndRequestEvents(const std::string& eventType, kor::TPluginCallRec* rec);
  void TranslateResources();

  // Searching from the last to the first in FRoutable; under FRoutingLock.
  TSerialPortDM* FindRoutable(std::int32_t id) const;

  TMbusApiRef FApi;
  TComponent FComponents{nullptr};
  // The data sources ProcessData may reach. ChangeState takes a source out
  // under the exclusive lock before freeing it, so a ProcessData call never
  // meets a source being freed.
  mutable std::shared_mutex FRoutingLock;
  std::vector<TSerialPortDM*> FRoutable;
};
