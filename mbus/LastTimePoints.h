// The last time points file "lastdate.txt": one line per device, "address
// text=YYYYMMDDHHNNSS", the newest stored row already handed to the host.
// Reading filters a reply's stored rows; recording happens only once the
// rows that carry a time point were delivered (TSerialPortDM), so a reading
// that arrived whole is never lost.
//
// Threads: any. Every read-modify-write of one file runs under an in-process
// lock per path and a cross-process named lock, and replaces the file
// atomically (params/SharedFiles.h), so workers, modules and processes
// sharing a data path never lose each other's entries and a crash never
// leaves the file cut short. Readers take no lock: they see the old file or
// the new one.
//
// While the data folder cannot be written, the time points go to a fallback
// file of the same format in another folder (the user's temporary folder by
// default), one per data folder ("kor-lastdate-HASH.txt", HASH from the
// file's path), so an unload or a kill before the folder can be written
// again does not bring delivered rows twice. Read takes the later of both
// per device; the first write that reaches the data folder takes the
// fallback's points along and removes the fallback file.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class TkorMbusDataRows;

// A device's time point waiting to be recorded.
struct TPendingTimePoint {
  std::string Device;    // the file's key (TimePointKey)
  double TimePoint = 0;  // OLE date
};

class TLastTimePoints {
 public:
  static constexpr const char* kFileName = "lastdate.txt";

  // folder: the module's data path, with or without a trailing separator;
  // fallbackFolder: where the fallback file goes ("" the user's temporary
  // folder; tests give their own).
  explicit TLastTimePoints(std::string folder, std::string fallbackFolder = {});

  const std::string& FileName() const { return FFileName; }
  const std::string& FallbackFileName() const { return FFallbackName; }

  // The device's stored time point as an OLE date; -1 when the file, the
  // entry or its value is missing or unreadable. A time point that Record
  // could not write counts as stored (it was delivered). Never raises.
  double Read(const std::string& device) const;
  // The time point of a device read through a data source: its key's
  // (TimePointKey), or, while the key has none, the plain address text's,
  // which files written before keys named the data source hold.
  double ReadOfSource(const std::string& device, std::int32_t dataSourceId) const;

  // Records the time points (a later one per device wins; an earlier one
  // than the stored never replaces it, unless the stored one lies more than
  // a day in the future), creating the folder and the file as needed and
  // keeping every other line. Time points not above 0 are skipped. Raises
  // with the reason when the file cannot be written (ESharedFileError) or a
  // device text cannot be a key (empty, line breaks, NUL); the old file then
  // stays whole, the points go to the fallback file (the message says
  // whether they did) and are kept in memory too (process-wide, per file):
  // Read counts them and the next Record of the file writes them too.
  // After a write to the data folder the fallback file is removed.
  // Called only once the rows were delivered.
  void Record(const std::vector<TPendingTimePoint>& points) const;

 private:
  std::string FFileName;
  std::string FFallbackName;
};

// The file's key of a device read through a data source: the address text,
// "@" and the source's id ("5@21"). Address texts repeat across buses (each
// has its meter 1), and one bus's time point must not hide the stored rows
// of another's meter.
std::string TimePointKey(const std::string& device, std::int32_t dataSourceId);

// The file's rules on its text (what Read and Record do inside the file
// access): the device's time point, -1 when it has none; and setting the
// points into the text, keeping every other line (line ends become CR LF).
// SetLastTimePoints answers whether the text changed and raises for a
// device text that cannot be a key.
double LastTimePointIn(const std::string& text, const std::string& device);
bool SetLastTimePoints(std::string& text, const std::vector<TPendingTimePoint>& points, double now);

// What FilterByLastTime found.
struct TTimePointFilterResult {
  double Latest = 0;    // the newest kept time point to record; 0 none
  bool Future = false;  // a kept time point lay more than a day ahead of now
  double FutureTimePoint = 0;
};

// Drops the stored rows (rows with "TIME_POINT" and "STORAGE") whose time
// point is not later than `stored` (-1: none stored) when readOnlyNew is
// set; keeps them all otherwise. The newest kept time point that is not
// more than a day ahead of `now` (OLE dates) is the one to record; a later
// one is kept (delivered) and reported as FutureTimePoint for the log. A
// stored time point more than a day ahead of `now` counts as none, so one
// wrong clock reading never hides every later row. A TIME_POINT that is
// not a date (VT_DATE) keeps its row and is not recorded.
TTimePointFilterResult FilterByLastTime(TkorMbusDataRows& rows, double stored, bool readOnlyNew,
                                        double now);
