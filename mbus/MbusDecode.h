// Decoding of a meter's reply into rows of named values: one row per tariff
// and storage number, each starting with the device's identification items,
// followed by the meter's values under names built from the records'
// quantities. Dates and date-times are OLE dates (VT_DATE values). See
// docs/mbus-decoding.md.
//
// Threads: the M-Bus worker's thread, with its own library handle.
#pragma once

#include <cstdint>
#include <string>

#include "framework/Classes.h"
#include "mbus/mbus.h"
#include "params/Variants.h"
#include "params/korParamLst.h"

struct TMbusApi;
struct TRequestParameters;

// One row of named values.
class TkorMbusDataRow : public TkorParamsList {
 public:
  std::int32_t Tariff = 0;   // never negative
  std::int32_t Storage = 0;  // never negative
};

// The rows of one reply, in order of creation; owns them.
class TkorMbusDataRows : public TObjectList {
 public:
  TkorMbusDataRows() : TObjectList(true) {}
  TkorMbusDataRow& Row(std::int32_t index) const;
};

// The row with that tariff and storage, created and appended when missing;
// negative arguments count as 0.
TkorMbusDataRow& FindRow(TkorMbusDataRows& rows, std::int32_t tariff, std::int32_t storage);

// The medium name of a medium code ("???" for an unknown one).
std::string MediumName(std::uint8_t code);

// Item names of the identification (header) items.
inline constexpr const char* kItemDeviceId = "DEVICE_ID";
inline constexpr const char* kItemManufacturer = "MANUFACTURER";
inline constexpr const char* kItemMedium = "MEDIUM";
inline constexpr const char* kItemVersion = "VERSION";
inline constexpr const char* kItemStatus = "STATUS";
inline constexpr const char* kItemStorage = "STORAGE";       // 32-bit storage number
inline constexpr const char* kItemTimePoint = "TIME_POINT";  // OLE date (VT_DATE)

// Names a value after its record and adds it to the row, with its unit as
// the wide-text item name + "_UNIT" (see docs/mbus-decoding.md). quantity
// and unit are the normalised record's texts (UTF-8); suffix "MAX", "MIN",
// "ERR" or a fixed record's function text, "" for none. A name the row
// already holds (or keeps for the identification items it receives later)
// gets "_I2", "_I3", ... so every name in a row is unique. Returns the
// name given to the value.
std::string AddMbusItem(TkorMbusDataRow& row, const std::string& quantity, const std::string& unit,
                        const std::string& suffix, std::int32_t tariff, std::int32_t device,
                        OleVariant value);

// Decodes one parsed frame (first-frame requests). Records are not released.
void DecodeFrameData(const TMbusApi& api, mbus_handle* handle, TkorMbusDataRows& rows,
                     mbus_frame_data& data, const TRequestParameters& params);

// Parses the reply frame and each following frame of a multi-telegram reply
// and decodes them, releasing the records of every frame it parsed. False
// (nothing decoded) when the reply frame itself does not parse.
//
// A following frame that does not parse ends the reply there; the reason
// (the library's error text) goes to stopReason when given, and the stored
// rows (storage 1 and up) are dropped: their values may continue in the
// frames that were lost, and delivering them would record their time point
// so the rest never came. The current values keep their identification
// items and are decoded as usual.
bool DecodeReply(const TMbusApi& api, mbus_handle* handle, TkorMbusDataRows& rows,
                 mbus_frame& reply, const TRequestParameters& params,
                 std::string* stopReason = nullptr);
