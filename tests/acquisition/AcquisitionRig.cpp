#include "AcquisitionRig.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/Environment.h"
#include "platform/Modules.h"

namespace acquisition {

namespace fs = std::filesystem;

std::string BesideProgram(const std::string& name) {
  const std::string self = plat::ModuleFileName(plat::ExecutableModule());
  return self.substr(0, self.find_last_of(plat::kPathDelimiter) + 1) + name;
}

std::string LibraryName(const std::string& name) {
  return name + (plat::kPathDelimiter == '\\' ? ".dll" : ".so");
}

bus::SecondaryAddress Address(std::uint32_t id) {
  return bus::SecondaryAddress{id, bus::ManufacturerCode("KAM"), 1, bus::kMediumWater};
}

bus::SlaveConfig Meter(int primary, std::uint32_t id, std::uint32_t volume) {
  bus::SlaveConfig config;
  config.primary = primary;
  config.secondary = Address(id);
  config.telegrams = {bus::BuildTelegram(static_cast<std::uint8_t>(primary), Address(id), volume)};
  config.reply_delay_ms = 0;
  return config;
}

bus::SlaveConfig SilentMeter() {
  bus::SlaveConfig config = Meter(5, 0x55555555, 1);
  config.silent = true;
  return config;
}

bus::MeterClock FixedClock() {
  const bus::MeterTime t = bus::FromCivil(bus::CivilTime{2025, 3, 14, 9, 30, 0});
  return [t] { return t; };
}

bus::SlaveConfig StoredMeter(int primary, std::uint32_t id) {
  bus::TelegramWriter w(static_cast<std::uint8_t>(primary), Address(id), 0x10, 0);
  w.Integer({0x13}, 1234, 4);
  w.DateTime(bus::CivilTime{2025, 2, 28, 23, 59, 0}, 1);
  w.Integer({0x13}, 1100, 4, 1);
  bus::SlaveConfig meter = Meter(primary, id, 0);
  meter.telegrams = {w.Frame()};
  return meter;
}

bus::SlaveConfig HistoryMeter(int primary, std::uint32_t id) {
  bus::MeterSpec spec{bus::MeterKind::Water, primary, id, "WZV", 0x21, 512.25, 1.8, 3, 0, 0};
  return bus::MeterSlave(spec, FixedClock());
}

// ---- TTestPort

TTestPort::TTestPort(std::shared_ptr<bus::BusSegment> segment, std::string name)
    : FSegment(segment), FPort(host::MakeSegmentPort(segment)), FName(std::move(name)) {}

void TTestPort::Write(const std::uint8_t* bytes, std::size_t count) {
  FReadOfReply = 0;
  {
    std::lock_guard<std::mutex> lock(FNoiseLock);
    // SND_NKE: 10 40 A (40+A) 16.
    FAppendPending = FAfterPingAddress >= 0 && count == 5 && bytes[0] == 0x10 && bytes[1] == 0x40 &&
                     bytes[2] == FAfterPingAddress;
  }
  FPort->Write(bytes, count);
}

void TTestPort::AppendAfterPing(int address, const bus::Bytes& bytes) {
  std::lock_guard<std::mutex> lock(FNoiseLock);
  FAfterPingAddress = address;
  FAfterPing = bytes;
}

void TTestPort::InjectNoise(const bus::Bytes& bytes) {
  std::lock_guard<std::mutex> lock(FNoiseLock);
  FNoise.insert(FNoise.end(), bytes.begin(), bytes.end());
}

std::size_t TTestPort::Read(std::uint8_t* buffer, std::size_t capacity, int waitMs) {
  {
    std::lock_guard<std::mutex> lock(FNoiseLock);
    if (!FNoise.empty()) {
      const std::size_t n = std::min(capacity, FNoise.size());
      std::copy_n(FNoise.begin(), n, buffer);
      FNoise.erase(FNoise.begin(), FNoise.begin() + static_cast<std::ptrdiff_t>(n));
      return n;
    }
  }
  if (FDropNext) {
    // The line drops in the middle of the reply: what the meter still
    // sends is lost with it.
    FDropNext = false;
    FReadOfReply = 0;
    FSegment->DiscardInput();
    ++Cuts;
    throw host::EPortError("line dropped");
  }
  const std::size_t piece = Piece.load();
  if (piece > 0) capacity = std::min(capacity, piece);
  const std::size_t cut = CutAfter.load();
  if (cut > 0) capacity = std::min(capacity, std::max<std::size_t>(cut - FReadOfReply, 1));
  const std::size_t got = FPort->Read(buffer, capacity, std::min(waitMs, 50));
  FReadOfReply += got;
  if (got > 0) {
    std::lock_guard<std::mutex> lock(FNoiseLock);
    if (FAppendPending) FNoise.insert(FNoise.end(), FAfterPing.begin(), FAfterPing.end());
    FAppendPending = false;
  }
  if (cut > 0 && FReadOfReply >= cut) {
    CutAfter = 0;
    FDropNext = true;  // these bytes are handed over, the next read sees the drop
  }
  return got;
}

// ---- TAcquisitionRig

TAcquisitionRig::TAcquisitionRig(const fs::path& folder, std::int32_t moduleIndex,
                                 const std::string& library)
    : FFolder(folder) {
  FOptions.IniFile = (folder / ("host" + std::to_string(moduleIndex) + ".ini")).string();
  FOptions.ModuleIndex = moduleIndex;
  FHost = std::make_unique<host::TPluginHost>(
      library.empty() ? BesideProgram(LibraryName("mbusplugin")) : library);
  FSources.Attach(*FHost);
  FSources.SetReopenDelay(20);
  FSources.SetRowHandler([this](const host::TReceivedData& row) {
    std::lock_guard<std::mutex> lock(FLock);
    FRows.push_back(row);
  });
  FHost->SetDataHandler([this](const host::TReceivedData& data) { return Deliver(data); });
}

TAcquisitionRig::~TAcquisitionRig() {
  Stop();
}

void TAcquisitionRig::Stop() {
  FSources.Stop();
  FHost->Unload();
  FSources.Poll();
}

std::int32_t TAcquisitionRig::Deliver(const host::TReceivedData& data) {
  if (data.Kind == 9 && RefuseRows) {
    ++RefusedRows;
    return -1;
  }
  if (data.Kind == 129 && RefuseBytes) {
    ++RefusedBytes;
    return -1;
  }
  return FSources.Deliver(data);
}

std::shared_ptr<bus::BusSegment> TAcquisitionRig::AddSource(
    const std::string& name, std::shared_ptr<bus::BusSegment> segment) {
  if (!segment) segment = std::make_shared<bus::BusSegment>(bus::BusTiming{false, 2400});
  auto port = std::make_unique<TTestPort>(segment, name);
  FPorts.push_back(port.get());
  FSegments.push_back(segment);
  FSources.Add(std::move(port));
  return segment;
}

void TAcquisitionRig::Configure(const std::string& document, const std::string& extra) {
  std::ofstream ini(FOptions.IniFile, std::ios::binary);
  ini << "[Common]\r\nParser config=" << document << "\r\n" << extra;
}

void TAcquisitionRig::Load() {
  // The module's data path (lastdate.txt) lies below the common data folder.
  plat::SetEnvironmentValue("KOR_COMMON_APPDATA", DataFolder().string());
  ASSERT_EQ(FHost->Create(), 0);
  ASSERT_EQ(FHost->Load(FOptions), 0);
}

void TAcquisitionRig::Start() {
  FSources.Start();
  FStarted = true;
  ASSERT_EQ(FSources.Activate(), 0);
}

bool TAcquisitionRig::PumpUntil(const std::function<bool()>& done, unsigned limitMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return done();
    FHost->Pump(10);
    FSources.Poll();
    FHost->FetchLog();
  }
  return true;
}

void TAcquisitionRig::PumpFor(unsigned ms) {
  PumpUntil([] { return false; }, ms);
}

bool TAcquisitionRig::WaitForLog(const std::string& text, unsigned limitMs) {
  return PumpUntil([&] { return FHost->LogText().find(text) != std::string::npos; }, limitMs);
}

bool TAcquisitionRig::WaitForRows(std::size_t count, unsigned limitMs) {
  return PumpUntil([&] { return RowCount() >= count; }, limitMs);
}

std::string TAcquisitionRig::Log() {
  FHost->FetchLog();
  return FHost->LogText();
}

std::vector<host::TReceivedData> TAcquisitionRig::Rows() {
  std::lock_guard<std::mutex> lock(FLock);
  return FRows;
}

std::size_t TAcquisitionRig::RowCount() {
  std::lock_guard<std::mutex> lock(FLock);
  return FRows.size();
}

std::vector<host::TReceivedData> TAcquisitionRig::RowsOf(const std::string& id) {
  std::vector<host::TReceivedData> rows;
  for (auto& row : Rows())
    if (Value(row, "DEVICE_ID") == id) rows.push_back(row);
  return rows;
}

std::int32_t TAcquisitionRig::Event(const std::string& name, const std::string& portStr,
                                    bool withPortStr) {
  TkorParamsList params;
  params.Add("EVENT-TYPE", OleVariant(name));
  if (withPortStr) params.Add("PORTSTR", OleVariant(portStr));
  return FHost->Command("EVENT", params);
}

fs::path TAcquisitionRig::LastDateFile() const {
  std::error_code ec;
  if (!fs::is_directory(DataFolder(), ec)) return {};
  for (auto it = fs::recursive_directory_iterator(DataFolder(), ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->path().filename() == "lastdate.txt") return it->path();
  }
  return {};
}

// ---- helpers

std::string Value(const host::TReceivedData& row, const std::string& name) {
  for (const auto& [key, value] : row.Values)
    if (key == name) return value;
  return "(none)";
}

bool Has(const host::TReceivedData& row, const std::string& name) {
  return Value(row, name) != "(none)";
}

int StoredRows(const std::vector<host::TReceivedData>& rows) {
  int n = 0;
  for (const auto& row : rows) n += Has(row, "STORAGE") ? 1 : 0;
  return n;
}

std::string Request(const std::string& device, const std::string& method,
                    const std::string& settings) {
  return "<Request><Enabled>1</Enabled><Device>" + device + "</Device><Timeout>1000</Timeout>" +
         settings + "<RequestMethod>" + method + "</RequestMethod></Request>";
}

std::string Document(const std::vector<std::string>& requests) {
  std::string text = "<MBUS>";
  for (const auto& r : requests) text += r;
  return text + "</MBUS>";
}

AcquisitionTest::AcquisitionTest() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  Folder = fs::temp_directory_path() /
           ("mbus-acq-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
            std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::error_code ec;
  fs::remove_all(Folder, ec);
  fs::create_directories(Folder);
}

AcquisitionTest::~AcquisitionTest() {
  std::error_code ec;
  fs::permissions(Folder, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(Folder, ec);
}

}  // namespace acquisition
