// Feeds untrusted bytes to reply decoding: the bytes split into a chain of
// frames (raw, and read as hex text) and, past the checksum barrier, as the
// record areas of two chained replies; each chain goes through DecodeReply,
// the first frame also through DecodeFrameData, and the rows through the
// last time point filter. Nothing may crash or leak, and the rows keep their
// promises: unique names, identification items first.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "mbus/LastTimePoints.h"
#include "mbus/MbusDecode.h"
#include "mbus/RequestConfig.h"
#include "mbus/mbus_api.h"

namespace {

const TMbusApi& Api() {
  static const TMbusApi api = [] {
    TMbusApi a;
#define KOR_MBUS_API_LINK(name) a.name = &::name;
    KOR_MBUS_API_NAMES(KOR_MBUS_API_LINK)
#undef KOR_MBUS_API_LINK
    return a;
  }();
  return api;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

void CheckRows(const TkorMbusDataRows& rows, bool variable) {
  for (std::int32_t r = 0; r < rows.Count(); ++r) {
    const TkorMbusDataRow& row = rows.Row(r);
    Check(row.Tariff >= 0 && row.Storage >= 0);
    std::set<std::string> names;
    for (std::int32_t i = 0; i < row.Count(); ++i)
      Check(names.insert(Upper(row.Items(i)->Name)).second);
    if (variable) Check(row.Count() > 0 && row.Items(0)->Name == kItemDeviceId);
  }
}

TRequestParameters Params(std::uint8_t selector) {
  TRequestParameters params;
  if (selector & 1) params.StorageNo = "[0][2]";
  if (selector & 2) params.TariffNo = "[1]";
  return params;
}

void Filter(TkorMbusDataRows& rows, std::uint8_t selector) {
  const double stored = (selector & 4) ? 41000.0 : -1;
  FilterByLastTime(rows, stored, (selector & 8) != 0, 45000.0);
}

void DecodeChain(mbus_frame& first, std::uint8_t selector) {
  const TRequestParameters params = Params(selector);
  {
    TkorMbusDataRows rows;
    std::string reason;
    if (DecodeReply(Api(), nullptr, rows, first, params, &reason)) {
      CheckRows(rows, first.control_information != MBUS_CONTROL_INFO_RESP_FIXED &&
                          first.control_information != MBUS_CONTROL_INFO_RESP_FIXED_MSB);
      Filter(rows, selector);
    }
  }
  mbus_frame_data data{};
  if (mbus_frame_data_parse(nullptr, &first, &data) != 0) return;
  TkorMbusDataRows rows;
  DecodeFrameData(Api(), nullptr, rows, data, params);
  mbus_data_record_free(data.data_var.record);
  Filter(rows, selector);
}

// Frames back to back, as far as they parse.
void Frames(const std::vector<unsigned char>& bytes, std::uint8_t selector) {
  mbus_frame* first = nullptr;
  mbus_frame* last = nullptr;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    mbus_frame* frame = mbus_frame_new(MBUS_FRAME_TYPE_ANY);
    std::vector<unsigned char> rest(bytes.begin() + static_cast<std::ptrdiff_t>(pos), bytes.end());
    if (!frame || mbus_parse(frame, rest.data(), rest.size()) != 0) {
      mbus_frame_free(frame);
      break;
    }
    pos += frame->type == MBUS_FRAME_TYPE_ACK     ? MBUS_FRAME_ACK_BASE_SIZE
           : frame->type == MBUS_FRAME_TYPE_SHORT ? MBUS_FRAME_SHORT_BASE_SIZE
                                                  : frame->data_size + MBUS_FRAME_LONG_BASE_SIZE;
    (last ? last->next : first) = frame;
    last = frame;
  }
  if (first) DecodeChain(*first, selector);
  mbus_frame_free(first);
}

// The bytes as the application data of two chained replies.
void RecordAreas(const std::uint8_t* bytes, std::size_t size, std::uint8_t selector) {
  mbus_frame frames[2] = {};
  const std::size_t half = size / 2;
  const std::uint8_t* parts[2] = {bytes, bytes + half};
  const std::size_t sizes[2] = {half, size - half};
  for (int i = 0; i < 2; ++i) {
    frames[i].type = MBUS_FRAME_TYPE_LONG;
    frames[i].control_information = (selector & 16) && i == 0 ? 0x73 : 0x72;
    frames[i].data_size = sizes[i] < MBUS_FRAME_DATA_LENGTH ? sizes[i] : MBUS_FRAME_DATA_LENGTH;
    std::memcpy(frames[i].data, parts[i], frames[i].data_size);
  }
  frames[0].next = &frames[1];
  DecodeChain(frames[0], selector);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t selector = data[0];
  try {
    Frames(std::vector<unsigned char>(data + 1, data + size), selector);
    std::vector<unsigned char> hex(size);
    hex.resize(mbus_hex2bin(hex.data(), hex.size(), data, size));
    Frames(hex, selector);
    RecordAreas(data + 1, size - 1, selector);
  } catch (const std::bad_alloc&) {
    // memory pressure is not a finding
  }
  return 0;
}
