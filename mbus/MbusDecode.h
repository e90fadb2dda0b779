// Decoding of a meter's reply into rows of named values: one row per tariff
// and storage number, each starting with the device's identification items,
// followed by the meter's values under names built from the records'
// quantities. See docs/mbus-decoding.md.
//
// Threads: the M-Bus worker's thread, with its own library handle.
#pragma once

#include <cstdint>
#include <string>

#include "framework/Classes.h"
#include "mbus/mbus.h"
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

// Decodes one parsed frame (first-frame requests). Records are not released.
void DecodeFrameData(const TMbusApi& api, mbus_handle* handle, TkorMbusDataRows& rows,
                     mbus_frame_data& data, const TRequestParameters& params);

// Parses the reply frame and each following frame of a multi-telegram reply
// and decodes them, releasing the records of every frame it parsed. False
// (nothing decoded) when the reply frame itself does not parse.
bool DecodeReply(const TMbusApi& api, mbus_handle* handle, TkorMbusDataRows& rows,
                 mbus_frame& reply, const TRequestParameters& params);
