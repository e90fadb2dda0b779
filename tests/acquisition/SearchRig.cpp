// The device search through the exports: "SearchDevices",
// "SearchDevicesStatus" and "SearchDevicesCancel" events against simulated
// segments (timing off), with the worker's search waits shortened through
// the module's Custom parameters.
#include "SearchRig.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace acquisition {

std::string Hex8(std::uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

std::vector<std::string> ResultLines(const std::string& result) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < result.size()) {
    const std::size_t end = result.find("\r\n", from);
    if (end == std::string::npos) {
      lines.push_back(result.substr(from) + "(no CR LF)");
      break;
    }
    lines.push_back(result.substr(from, end - from));
    from = end + 2;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::string SecondaryLine(std::uint32_t id, const std::string& manufacturer, int version,
                          const std::string& medium) {
  return "||" + Hex8(id) + "||" + std::to_string(id) + "||" + manufacturer + "||" +
         std::to_string(version) + "||" + medium;
}

bus::SlaveConfig SecondaryMeter(std::uint32_t id, const std::string& manufacturer,
                                std::uint8_t version, std::uint8_t medium) {
  const bus::SecondaryAddress address{id, bus::ManufacturerCode(manufacturer), version, medium};
  bus::SlaveConfig config;
  config.primary = -1;
  config.secondary = address;
  config.telegrams = {bus::BuildTelegram(0, address, 1)};
  config.reply_delay_ms = 0;
  return config;
}

bus::Bytes ReferenceTelegram(const std::string& name) {
  std::ifstream file(std::string(KOR_SHARED_DIR) + "/testdata/meter-frames/reference/" + name +
                     ".hex");
  bus::Bytes bytes;
  std::string pair;
  while (file >> pair) bytes.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
  return bytes;
}

std::string ReferenceField(const std::string& name, const std::string& tag) {
  std::ifstream file(std::string(KOR_SHARED_DIR) + "/testdata/meter-frames/reference/" + name +
                     ".xml");
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const std::string open = "<" + tag + ">";
  const std::size_t from = text.find(open);
  if (from == std::string::npos) return "(none)";
  const std::size_t start = from + open.size();
  return text.substr(start, text.find('<', start) - start);
}

// ---- TSearchTest

void TSearchTest::StartModule(const std::string& document, std::uint32_t idleMs,
                              std::uint32_t totalMs) {
  Rig.Configure(document);
  Rig.Load();
  SetCustom(Rig, "SearchIdleMs", idleMs);
  SetCustom(Rig, "SearchTotalMs", totalMs);
  Rig.Start();
}

void TSearchTest::SetCustom(TAcquisitionRig& rig, const std::string& key, std::uint32_t value) {
  TkorParamsList params;
  params.Add("PARAM", OleVariant("Custom_" + key));
  params.Add("VALUE", OleVariant(static_cast<std::int32_t>(value)));
  ASSERT_EQ(rig.Host().Command("SET-MODULE-PARAMETER", params), 0);
}

std::string TSearchTest::SearchEvent(TAcquisitionRig& rig, const std::string& name,
                                     const OleVariant& p0, const OleVariant& p1,
                                     const OleVariant& p2) {
  TkorParamsList params;
  params.Add("EVENT-TYPE", OleVariant(name));
  params.Add("P0", p0);
  params.Add("P1", p1);
  params.Add("P2", p2);
  params.Add("RESULT", OleVariant());
  EXPECT_EQ(rig.Host().Command("EVENT", params), 0) << name;
  const OleVariant result = params.GetValue("RESULT");
  return result.IsEmpty() || result.IsNull() ? std::string("(no RESULT)") : result.AsAnsiString();
}

std::string TSearchTest::Search(std::int32_t mode, std::int32_t first, std::int32_t last) {
  return SearchEvent(Rig, "SearchDevices", OleVariant(mode), OleVariant(first), OleVariant(last));
}

std::string TSearchTest::Status(const std::string& id) {
  return SearchEvent(Rig, "SearchDevicesStatus", OleVariant(id), OleVariant(), OleVariant());
}

std::string TSearchTest::Cancel(const std::string& id) {
  return SearchEvent(Rig, "SearchDevicesCancel", OleVariant(id), OleVariant(), OleVariant());
}

std::string TSearchTest::WaitForResult(const std::string& id, unsigned limitMs) {
  std::string status = "*";
  Rig.PumpUntil(
      [&] {
        status = Status(id);
        return status.empty() || status.front() != '*';
      },
      limitMs);
  return status;
}

}  // namespace acquisition
