// Acquisition through the plug-in's exports: mbusplugin loaded by
// plugin_host's TPluginHost in the test process, its data sources given by
// THostDataSources, each connected to a simulated segment (timing model
// off), the host's messages pumped on the test thread.
//
// Threads: the test thread owns the rig (creates the host, pumps, polls);
// the sources' reading threads and the plug-in's workers only reach it
// through the data handler, which takes FLock for what it records.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/HostDataSources.h"
#include "host/PluginHost.h"
#include "host/bus/Meters.h"
#include "host/bus/Segment.h"
#include "host/ports/Port.h"

namespace acquisition {

// The library beside the test program (name.so or name.dll).
std::string BesideProgram(const std::string& name);
std::string LibraryName(const std::string& name);

// A secondary address of the test meters (manufacturer "KAM", water).
bus::SecondaryAddress Address(std::uint32_t id);
// A slave answering with one telegram: a volume (1e-3 m^3), so "VOLUME".
bus::SlaveConfig Meter(int primary, std::uint32_t id, std::uint32_t volume);
// A meter that hears everything and answers nothing (primary 5, 55555555).
bus::SlaveConfig SilentMeter();
// A fixed time for the meters' clock, so stored rows are the same each run.
bus::MeterClock FixedClock();
// A current volume, and a stored one at storage 1 with its time point
// (2025-02-28 23:59).
bus::SlaveConfig StoredMeter(int primary, std::uint32_t id);
// A water meter with three month-end values (storages 1..3) at FixedClock.
bus::SlaveConfig HistoryMeter(int primary, std::uint32_t id);

// Request methods.
inline const std::string kOnce = "<MethodOnce check=\"2\" />";
inline const std::string kPoll =
    "<MethodPoll check=\"2\"><PollInterval>100</PollInterval><PollUnits>MS</PollUnits>"
    "</MethodPoll>";

// The segment's port (MakeSegmentPort) with a name of its own; reads hand
// over at most
// Piece bytes (0: what there is), and a reply can be cut: after CutAfter
// bytes of one read the line drops once (EPortError), the rest discarded.
class TTestPort final : public host::TPort {
 public:
  TTestPort(std::shared_ptr<bus::BusSegment> segment, std::string name);
  std::string Name() const override { return FName; }
  void Open() override {}
  void Close() override { FSegment->DiscardInput(); }
  void Write(const std::uint8_t* bytes, std::size_t count) override;
  void SetBaudrate(int baudrate) override { FSegment->SetLineBaudrate(baudrate); }
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity, int waitMs) override;
  bool Reconnects() const override { return true; }

  // Bytes nobody asked for, handed over by the next read before anything
  // else (a line's noise between requests).
  void InjectNoise(const bus::Bytes& bytes);
  // After the answer to every ping (SND_NKE) of this primary address, the
  // line carries these bytes too (a second slave answering late).
  void AppendAfterPing(int address, const bus::Bytes& bytes);

  std::atomic<std::size_t> Piece{0};
  std::atomic<std::size_t> CutAfter{0};  // 0: never
  std::atomic<int> Cuts{0};

 private:
  std::shared_ptr<bus::BusSegment> FSegment;
  std::unique_ptr<host::TPort> FPort;
  std::string FName;
  std::atomic<std::size_t> FReadOfReply{0};  // reset by Write (the worker), counted by Read
  // The reading thread only.
  bool FDropNext = false;
  std::mutex FNoiseLock;  // guards FNoise, FAfterPing and FAppendPending
  bus::Bytes FNoise;
  int FAfterPingAddress = -1;
  bus::Bytes FAfterPing;
  bool FAppendPending = false;
};

// One plug-in instance with its data sources; see the file comment.
class TAcquisitionRig {
 public:
  // folder: the test's own folder (settings file, data folder below it).
  explicit TAcquisitionRig(const std::filesystem::path& folder, std::int32_t moduleIndex = 1,
                           const std::string& library = "");
  // Stops the sources, then unloads.
  ~TAcquisitionRig();

  // A data source on its own segment (or the given one); before Start.
  std::shared_ptr<bus::BusSegment> AddSource(const std::string& name,
                                             std::shared_ptr<bus::BusSegment> segment = nullptr);
  TTestPort& Port(std::size_t index) { return *FPorts.at(index); }
  bus::BusSegment& Segment(std::size_t index = 0) { return *FSegments.at(index); }

  // Writes the request document as the settings file's "Parser config".
  void Configure(const std::string& document, const std::string& extra = "");
  // Create and LOAD (with the host's entry points in place).
  void Load();
  // Opens the ports, SET-STATE with the list.
  void Start();
  // Pumps and polls until done() holds, at most limitMs; done()'s last value.
  bool PumpUntil(const std::function<bool()>& done, unsigned limitMs = 15000);
  void PumpFor(unsigned ms);
  bool WaitForLog(const std::string& text, unsigned limitMs = 15000);
  bool WaitForRows(std::size_t count, unsigned limitMs = 15000);
  // Ends the run the way the host does (stops the sources, UNLOAD, free).
  void Stop();

  std::string Log();
  std::vector<host::TReceivedData> Rows();
  std::size_t RowCount();
  // Rows whose DEVICE_ID is id.
  std::vector<host::TReceivedData> RowsOf(const std::string& id);
  std::int32_t Event(const std::string& name, const std::string& portStr = "",
                     bool withPortStr = false);

  host::TPluginHost& Host() { return *FHost; }
  host::THostDataSources& Sources() { return FSources; }
  std::filesystem::path DataFolder() const { return FFolder / "data"; }
  // The module's lastdate.txt (empty path when there is none).
  std::filesystem::path LastDateFile() const;

  // What the host answers Vornak_SendDataEx (kind 9 rows, kind 129 bytes):
  // negative refuses.
  std::atomic<bool> RefuseRows{false};
  std::atomic<bool> RefuseBytes{false};
  std::atomic<int> RefusedRows{0};
  std::atomic<int> RefusedBytes{0};

 private:
  std::int32_t Deliver(const host::TReceivedData& data);

  std::filesystem::path FFolder;
  host::TLoadOptions FOptions;
  host::THostDataSources FSources;  // outlives the instance
  std::unique_ptr<host::TPluginHost> FHost;
  std::vector<std::shared_ptr<bus::BusSegment>> FSegments;
  std::vector<TTestPort*> FPorts;  // owned by FSources
  bool FStarted = false;

  std::mutex FLock;  // guards FRows
  std::vector<host::TReceivedData> FRows;
};

// The value of a row's item as text, or "(none)".
std::string Value(const host::TReceivedData& row, const std::string& name);
bool Has(const host::TReceivedData& row, const std::string& name);
// Rows with a STORAGE item.
int StoredRows(const std::vector<host::TReceivedData>& rows);

// A request element: device text, method element, further settings.
std::string Request(const std::string& device, const std::string& method = "",
                    const std::string& settings = "");
std::string Document(const std::vector<std::string>& requests);

// A folder of the running test, fresh, removed by the fixture.
class AcquisitionTest : public ::testing::Test {
 protected:
  AcquisitionTest();
  ~AcquisitionTest() override;

  std::filesystem::path Folder;
};

}  // namespace acquisition
