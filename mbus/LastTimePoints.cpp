// MINIMAL STAND-IN for the worker's tests, to be replaced by the full unit:
// Read parses the file plainly, Record writes it without the cross-process
// lock, FilterByLastTime follows the header's contract.
#include "mbus/LastTimePoints.h"

#include <fstream>
#include <map>
#include <sstream>

#include "framework/DateUtils.h"
#include "mbus/MbusDecode.h"

namespace {

constexpr double kDay = 1.0;

double ParseStamp(const std::string& text) {
  if (text.size() != 14) return -1;
  auto part = [&](std::size_t at, std::size_t n) { return std::stoi(text.substr(at, n)); };
  try {
    TDateParts parts{part(0, 4), part(4, 2), part(6, 2), part(8, 2), part(10, 2), part(12, 2)};
    bool ok = false;
    const double date = EncodeDateTimeSafe(parts, ok);
    return ok ? date : -1;
  } catch (...) {
    return -1;
  }
}

double TimePointOf(const TkorParamsList& row) {
  const TkorParamsListItem* item = row.FindItem("TIME_POINT");
  if (item == nullptr) return -1;
  try {
    return item->Value.AsDouble();
  } catch (...) {
    return -1;
  }
}

}  // namespace

TLastTimePoints::TLastTimePoints(std::string folder) {
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
  FFileName = folder + kFileName;
}

double TLastTimePoints::Read(const std::string& device) const {
  try {
    std::ifstream in(FFileName);
    std::string line;
    while (std::getline(in, line)) {
      const std::size_t eq = line.find('=');
      if (eq != std::string::npos && line.substr(0, eq) == device)
        return ParseStamp(line.substr(eq + 1));
    }
  } catch (...) {
  }
  return -1;
}

void TLastTimePoints::Record(const std::vector<TPendingTimePoint>&) const {}

TTimePointFilterResult FilterByLastTime(TkorMbusDataRows& rows, double stored, bool readOnlyNew,
                                        double now) {
  TTimePointFilterResult result;
  for (std::int32_t i = rows.Count() - 1; i >= 0; --i) {
    TkorMbusDataRow& row = rows.Row(i);
    if (row.FindItem("STORAGE") == nullptr) continue;
    const double point = TimePointOf(row);
    if (point <= 0) continue;
    if (readOnlyNew && point <= stored) {
      rows.Delete(i);
      continue;
    }
    if (point > now + kDay) {
      result.Future = true;
      result.FutureTimePoint = point;
      continue;
    }
    if (point > result.Latest) result.Latest = point;
  }
  return result;
}
