// Helpers of the device search tests: the three search events through the
// plug-in's EVENT command, result lists, and meters told apart by their
// secondary addresses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AcquisitionRig.h"

namespace acquisition {

std::string Hex8(std::uint32_t value);
// The lines of a result list, sorted; a last line without CR LF is marked.
std::vector<std::string> ResultLines(const std::string& result);
// The line a secondary scan lists for a device whose identification number
// (BCD digits) reads as the hex number id.
std::string SecondaryLine(std::uint32_t id, const std::string& manufacturer, int version,
                          const std::string& medium);
// A meter without a primary address.
bus::SlaveConfig SecondaryMeter(std::uint32_t id, const std::string& manufacturer = "KAM",
                                std::uint8_t version = 1, std::uint8_t medium = bus::kMediumWater);
// A real telegram of the shared reference frames, and a field of its
// expected decoding.
bus::Bytes ReferenceTelegram(const std::string& name);
std::string ReferenceField(const std::string& name, const std::string& tag);

class TSearchTest : public AcquisitionTest {
 protected:
  // Configure, LOAD, the search waits, SET-STATE.
  void StartModule(const std::string& document = "<MBUS></MBUS>", std::uint32_t idleMs = 60,
                   std::uint32_t totalMs = 600);
  static void SetCustom(TAcquisitionRig& rig, const std::string& key, std::uint32_t value);

  static std::string SearchEvent(TAcquisitionRig& rig, const std::string& name,
                                 const OleVariant& p0, const OleVariant& p1, const OleVariant& p2);
  std::string Search(std::int32_t mode, std::int32_t first, std::int32_t last);
  std::string Status(const std::string& id);
  std::string Cancel(const std::string& id);
  // Polls the status (pumping) until it no longer starts with "*".
  std::string WaitForResult(const std::string& id, unsigned limitMs = 60000);

  TAcquisitionRig Rig{Folder};
};

}  // namespace acquisition
