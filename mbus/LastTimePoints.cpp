#include "mbus/LastTimePoints.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>

#include "framework/DateUtils.h"
#include "mbus/MbusDecode.h"
#include "params/SharedFiles.h"
#include "platform/Files.h"
#include "platform/Modules.h"
#include "platform/Time.h"

namespace {

constexpr std::uint64_t kMaxFileSize = 64u << 20;
constexpr std::size_t kStampLength = 14;  // YYYYMMDDHHNNSS
constexpr double kOneDay = 1.0;

// One line of the file without its line end; `Device` is empty for a line
// that holds no entry.
struct TEntryLine {
  std::string Text;
  std::string Device;
  std::string Value;
};

// The file's lines. A line's device is the text before its last "=": the
// value never holds one, so device texts with "=" are read back whole and
// never taken for a shorter one.
std::vector<TEntryLine> SplitLines(const std::string& text) {
  std::vector<TEntryLine> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    TEntryLine line;
    line.Text = text.substr(start, end - start);
    if (!line.Text.empty() && line.Text.back() == '\r') line.Text.pop_back();
    const std::size_t equals = line.Text.rfind('=');
    if (equals != std::string::npos && equals > 0) {
      line.Device = line.Text.substr(0, equals);
      line.Value = std::string(Trim(std::string_view(line.Text).substr(equals + 1)));
    }
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

int Digits(const std::string& text, std::size_t at, std::size_t count) {
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

// "YYYYMMDDHHNNSS" as an OLE date; false for anything else.
bool ParseStamp(const std::string& text, double& value) {
  if (text.size() != kStampLength) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  TDateParts parts;
  parts.Year = Digits(text, 0, 4);
  parts.Month = Digits(text, 4, 2);
  parts.Day = Digits(text, 6, 2);
  parts.Hour = Digits(text, 8, 2);
  parts.Minute = Digits(text, 10, 2);
  parts.Second = Digits(text, 12, 2);
  bool ok = false;
  value = EncodeDateTimeSafe(parts, ok);
  return ok && parts.Year >= 1900;
}

// To the nearest second.
std::string FormatStamp(double value) {
  const TDateParts p = DecodeDateTime(IncMilliseconds(value, 500));
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", static_cast<int>(p.Year),
                static_cast<int>(p.Month), static_cast<int>(p.Day), static_cast<int>(p.Hour),
                static_cast<int>(p.Minute), static_cast<int>(p.Second));
  return text;
}

// Later by at least a second (the file keeps whole seconds).
bool Later(double a, double b) {
  return std::llround((a - b) * 86400.0) >= 1;
}

// The device's first readable entry; -1 when it has none.
double FindEntry(const std::vector<TEntryLine>& lines, const std::string& device) {
  for (const TEntryLine& line : lines) {
    double value = 0;
    if (line.Device == device && ParseStamp(line.Value, value)) return value;
  }
  return -1;
}

// A device text that fits one line and can be found again.
void CheckDevice(const std::string& device) {
  if (device.empty() || device.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    throw Exception("The device address \"" + device +
                    "\" cannot be a key of the last time points file");
}

// Sets the device's entry to the time point unless the stored one is as
// late (and not more than a day in the future). True when the text changed.
bool SetEntry(std::vector<TEntryLine>& lines, const std::string& device, double timePoint,
              double now) {
  const double stored = FindEntry(lines, device);
  if (stored >= 0 && !Later(timePoint, stored) && stored <= now + kOneDay) return false;
  const std::string text = device + "=" + FormatStamp(timePoint);
  bool placed = false;
  for (std::size_t i = 0; i < lines.size();) {
    if (lines[i].Device != device) {
      ++i;
    } else if (!placed) {
      lines[i] = TEntryLine{text, device, FormatStamp(timePoint)};
      placed = true;
      ++i;
    } else {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  if (!placed) lines.push_back(TEntryLine{text, device, FormatStamp(timePoint)});
  return true;
}

std::string JoinLines(const std::vector<TEntryLine>& lines) {
  std::string text;
  for (const TEntryLine& line : lines) text += line.Text + "\r\n";
  return text;
}

// A value that is a date-time; false for anything that does not convert.
bool AsDateTime(const OleVariant& value, double& date) {
  try {
    if (value.VType() != plat::varDate) return false;
    date = value.ChangedType(plat::varDouble).AsDouble();
    return std::isfinite(date);
  } catch (const std::exception&) {
    return false;
  }
}

// Time points of delivered rows whose file could not be written, per file
// and device, until a write takes them: Read counts them, so a data folder
// that cannot be written for a while never makes the meters' stored rows
// come twice. Process-wide (every module and worker of a data path).
class TUnwrittenPoints {
 public:
  double Get(const std::string& file, const std::string& device) {
    std::lock_guard<std::mutex> lock(FLock);
    const auto f = FPoints.find(file);
    if (f == FPoints.end()) return -1;
    const auto d = f->second.find(device);
    return d == f->second.end() ? -1 : d->second;
  }
  // points plus the file's unwritten ones.
  std::vector<TPendingTimePoint> With(const std::string& file,
                                      const std::vector<TPendingTimePoint>& points) {
    std::vector<TPendingTimePoint> all = points;
    std::lock_guard<std::mutex> lock(FLock);
    const auto f = FPoints.find(file);
    if (f != FPoints.end())
      for (const auto& [device, timePoint] : f->second) all.push_back({device, timePoint});
    return all;
  }
  void Keep(const std::string& file, const std::vector<TPendingTimePoint>& points) {
    std::lock_guard<std::mutex> lock(FLock);
    for (const TPendingTimePoint& point : points) {
      if (!(point.TimePoint > 0) || !std::isfinite(point.TimePoint)) continue;
      double& kept = FPoints[file][point.Device];
      if (point.TimePoint > kept) kept = point.TimePoint;
    }
  }
  // After a write of `written`: what it held is no longer unwritten (a
  // later point kept meanwhile by another thread stays).
  void Written(const std::string& file, const std::vector<TPendingTimePoint>& written) {
    std::lock_guard<std::mutex> lock(FLock);
    const auto f = FPoints.find(file);
    if (f == FPoints.end()) return;
    for (const TPendingTimePoint& point : written) {
      const auto d = f->second.find(point.Device);
      if (d != f->second.end() && d->second <= point.TimePoint) f->second.erase(d);
    }
    if (f->second.empty()) FPoints.erase(f);
  }

 private:
  std::mutex FLock;  // guards FPoints
  std::map<std::string, std::map<std::string, double>> FPoints;
};

TUnwrittenPoints& Unwritten() {
  static TUnwrittenPoints points;
  return points;
}

// 64-bit FNV-1a of the text: the same name for a data folder in every
// process and build.
std::string PathHash(const std::string& text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char out[17];
  std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(hash));
  return out;
}

// The file's entries as points (the fallback's, to take along).
std::vector<TPendingTimePoint> EntriesOf(const std::string& path) {
  std::vector<TPendingTimePoint> points;
  std::string text;
  if (!plat::ReadWholeFile(path, text, kMaxFileSize)) return points;
  for (const TEntryLine& line : SplitLines(text)) {
    double value = 0;
    if (!line.Device.empty() && ParseStamp(line.Value, value))
      points.push_back({line.Device, value});
  }
  return points;
}

// Writes the points into a file under both locks, creating its folder.
void WriteInto(const std::string& path, const std::vector<TPendingTimePoint>& points) {
  const std::string folder = plat::ExtractFileDir(path);
  std::string error;
  if (!folder.empty() && !plat::ForceDirectories(folder, &error))
    throw ESharedFileError("Cannot create the folder " + folder + ": " + error);
  const double now = plat::NowAsOleDate();
  UpdateSharedFile(path, kMaxFileSize, "last time points file",
                   [&](std::string& text) { return SetLastTimePoints(text, points, now); });
}

}  // namespace

TLastTimePoints::TLastTimePoints(std::string folder, std::string fallbackFolder) {
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
    folder += plat::kPathDelimiter;
  FFileName = folder + kFileName;
  if (fallbackFolder.empty()) fallbackFolder = plat::TempFolder();
  if (fallbackFolder.back() != '/' && fallbackFolder.back() != '\\')
    fallbackFolder += plat::kPathDelimiter;
  FFallbackName = fallbackFolder + "kor-lastdate-" + PathHash(FFileName) + ".txt";
}

double LastTimePointIn(const std::string& text, const std::string& device) {
  return FindEntry(SplitLines(text), device);
}

bool SetLastTimePoints(std::string& text, const std::vector<TPendingTimePoint>& points,
                       double now) {
  std::map<std::string, double> latest;
  for (const TPendingTimePoint& point : points) {
    if (!(point.TimePoint > 0) || !std::isfinite(point.TimePoint)) continue;
    CheckDevice(point.Device);
    double& value = latest[point.Device];
    if (point.TimePoint > value) value = point.TimePoint;
  }
  if (latest.empty()) return false;
  std::vector<TEntryLine> lines = SplitLines(text);
  bool changed = false;
  for (const auto& [device, timePoint] : latest)
    changed = SetEntry(lines, device, timePoint, now) || changed;
  if (changed) text = JoinLines(lines);
  return changed;
}

double TLastTimePoints::Read(const std::string& device) const {
  double stored = -1;
  for (const std::string* file : {&FFileName, &FFallbackName}) {
    try {
      std::string text;
      if (plat::ReadWholeFile(*file, text, kMaxFileSize)) {
        const double value = LastTimePointIn(text, device);
        if (value > stored) stored = value;
      }
    } catch (...) {
    }
  }
  try {
    const double unwritten = Unwritten().Get(FFileName, device);
    if (unwritten > stored) stored = unwritten;
  } catch (...) {
  }
  return stored;
}

double TLastTimePoints::ReadOfSource(const std::string& device, std::int32_t dataSourceId) const {
  const double stored = Read(TimePointKey(device, dataSourceId));
  return stored >= 0 ? stored : Read(device);
}

std::string TimePointKey(const std::string& device, std::int32_t dataSourceId) {
  return device + "@" + std::to_string(dataSourceId);
}

void TLastTimePoints::Record(const std::vector<TPendingTimePoint>& points) const {
  bool any = false;
  for (const TPendingTimePoint& point : points) {
    if (!(point.TimePoint > 0) || !std::isfinite(point.TimePoint)) continue;
    CheckDevice(point.Device);
    any = true;
  }
  if (!any) return;
  std::vector<TPendingTimePoint> all = Unwritten().With(FFileName, points);
  const std::vector<TPendingTimePoint> fallback = EntriesOf(FFallbackName);
  all.insert(all.end(), fallback.begin(), fallback.end());
  try {
    WriteInto(FFileName, all);
  } catch (const ESharedFileError& e) {
    Unwritten().Keep(FFileName, points);
    try {
      WriteInto(FFallbackName, all);
    } catch (const std::exception& f) {
      throw ESharedFileError(std::string(e.what()) + "; the time points are kept in memory only (" +
                             f.what() + ")");
    }
    throw ESharedFileError(std::string(e.what()) + "; the time points are kept in " +
                           FFallbackName);
  } catch (...) {
    Unwritten().Keep(FFileName, points);
    throw;
  }
  Unwritten().Written(FFileName, all);
  // The data file holds the fallback's points now. A point another process
  // put there meanwhile stays in that process's memory and is written with
  // its next record.
  plat::RemoveFile(FFallbackName);
}

TTimePointFilterResult FilterByLastTime(TkorMbusDataRows& rows, double stored, bool readOnlyNew,
                                        double now) {
  // A stored time point far ahead (a meter's clock gone wrong) would hide
  // every new reading; it counts as none.
  if (stored > now + kOneDay) stored = -1;
  TTimePointFilterResult result;
  for (std::int32_t r = rows.Count() - 1; r >= 0; --r) {
    TkorMbusDataRow& row = rows.Row(r);
    const TkorParamsListItem* timeItem = row.FindItem(kItemTimePoint);
    if (!timeItem || !row.FindItem(kItemStorage)) continue;
    double timePoint = 0;
    if (!AsDateTime(timeItem->Value, timePoint)) continue;
    if (readOnlyNew && stored >= 0 && !Later(timePoint, stored)) {
      rows.Delete(r);
      continue;
    }
    if (timePoint > now + kOneDay) {
      if (!result.Future || timePoint > result.FutureTimePoint) result.FutureTimePoint = timePoint;
      result.Future = true;
    } else if (timePoint > result.Latest) {
      result.Latest = timePoint;
    }
  }
  return result;
}
