// The shared library's own unit: the structure layouts the plug-in reads,
// checked where they matter (the 32-bit build the plug-in loads).
#include <cstddef>

#include "mbus/mbus.h"

namespace {

constexpr bool kThirtyTwoBit = sizeof(void*) == 4;

static_assert(sizeof(mbus_data_variable_header) == 12, "variable header is 12 bytes on the wire");
static_assert(sizeof(mbus_data_fixed) == 16, "fixed block is 16 bytes on the wire");
static_assert(offsetof(mbus_frame, data) == 9, "frame bytes precede the data");
static_assert(offsetof(mbus_data_record, data) ==
                  sizeof(mbus_data_information_block) + sizeof(mbus_value_information_block),
              "data record: dib, vib, data");

static_assert(!kThirtyTwoBit || offsetof(mbus_frame, data_size) == 264, "frame.data_size");
static_assert(!kThirtyTwoBit || offsetof(mbus_frame, type) == 268, "frame.type");
static_assert(!kThirtyTwoBit || offsetof(mbus_frame, next) == 272 + sizeof(time_t), "frame.next");
static_assert(!kThirtyTwoBit || sizeof(mbus_data_information_block) == 16, "dib");
static_assert(!kThirtyTwoBit || sizeof(mbus_value_information_block) == 144, "vib");
static_assert(!kThirtyTwoBit || offsetof(mbus_data_record, data_len) == 396, "record.data_len");
static_assert(!kThirtyTwoBit || offsetof(mbus_data_variable, record) == 12, "variable.record");
static_assert(!kThirtyTwoBit || offsetof(mbus_frame_data, data_fix) == 40, "frame_data.data_fix");
static_assert(!kThirtyTwoBit || offsetof(mbus_frame_data, type) == 56, "frame_data.type");
static_assert(!kThirtyTwoBit || sizeof(mbus_frame_data) == 64, "frame_data");
static_assert(!kThirtyTwoBit || offsetof(mbus_record, is_numeric) == 8, "record.is_numeric");
static_assert(!kThirtyTwoBit || offsetof(mbus_record, storage_number) == 32, "record.storage");

}  // namespace
