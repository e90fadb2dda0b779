// STAND-IN until the last-time-points unit is merged: a plain read and
// rewrite of "lastdate.txt" (one "device=value" line per device, the value
// an OLE date), without the cross-process lock or the atomic replace.
#include "mbus/LastTimePoints.h"

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace {

std::map<std::string, double> ReadAll(const std::string& file) {
  std::map<std::string, double> entries;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t eq = line.rfind('=');
    if (eq == std::string::npos) continue;
    try {
      entries[line.substr(0, eq)] = std::stod(line.substr(eq + 1));
    } catch (...) {
    }
  }
  return entries;
}

}  // namespace

TLastTimePoints::TLastTimePoints(std::string folder) {
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
  FFileName = folder + kFileName;
}

double TLastTimePoints::Read(const std::string& device) const {
  const auto entries = ReadAll(FFileName);
  auto it = entries.find(device);
  return it == entries.end() ? -1 : it->second;
}

void TLastTimePoints::Record(const std::vector<TPendingTimePoint>& points) const {
  auto entries = ReadAll(FFileName);
  for (const TPendingTimePoint& point : points) {
    auto it = entries.find(point.Device);
    if (it == entries.end() || it->second < point.TimePoint)
      entries[point.Device] = point.TimePoint;
  }
  std::ofstream out(FFileName, std::ios::trunc);
  if (!out) throw std::runtime_error("cannot open the file");
  out.precision(17);
  for (const auto& [device, value] : entries) out << device << '=' << value << "\n";
  if (!out) throw std::runtime_error("cannot write the file");
}
