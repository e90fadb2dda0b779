// Two-digit years of dates: from 81 on they are 19xx, below 81 20xx, in
// every place the library decodes a date (the calendar record, normalised
// records, both XML forms and the plain value text).
#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <string>

#include "TestFiles.h"
#include "libmbus/src/Decode.h"
#include "mbus/mbus.h"

using namespace mbus_test;

namespace {

// 1996-12-31 and 2080-06-15 as type G dates and as type F date-times
// (23:59 and 12:30), then 1981-01-01 and 2000-01-01 (the edges) as dates.
const char* const kRecords =
    "02 6C 1F CC  02 6C 0F A6  04 6D 3B 17 1F CC  04 6D 1E 0C 0F A6  02 6C 21 A1  02 6C 01 01";
const char* const kExpected[] = {"1996-12-31",          "2080-06-15", "1996-12-31T23:59:00",
                                 "2080-06-15T12:30:00", "1981-01-01", "2000-01-01"};

struct TmCase {
  unsigned char bytes[4];
  size_t size;
  int year;
};

std::vector<std::string> Values(const std::string& xml) {
  std::vector<std::string> values;
  for (const Block& block : ReadBlocks(xml))
    for (const auto& [name, value] : block.fields)
      if (name == "Value") values.push_back(value);
  return values;
}

}  // namespace

TEST(MbusDateCentury, CalendarRecordsOfBothCenturies) {
  const TmCase cases[] = {{{0x1F, 0xCC}, 2, 1996},
                          {{0x0F, 0xA6}, 2, 2080},
                          {{0x21, 0xA1}, 2, 1981},
                          {{0x01, 0x01}, 2, 2000},
                          {{0x3B, 0x17, 0x1F, 0xCC}, 4, 1996},
                          {{0x1E, 0x0C, 0x0F, 0xA6}, 4, 2080},
                          {{0x7F, 0xCC}, 2, 1999},
                          {{0x00, 0x00}, 2, 2000}};
  for (const TmCase& c : cases) {
    struct tm t;
    unsigned char bytes[4];
    std::copy(c.bytes, c.bytes + 4, bytes);
    mbus_data_tm_decode(&t, bytes, c.size);
    EXPECT_EQ(t.tm_year + 1900, c.year) << int(c.bytes[0]) << " " << int(c.bytes[1]);
  }
  unsigned char six[] = {0x05, 0x3B, 0x17, 0x1F, 0xCC, 0x00};
  struct tm t;
  mbus_data_tm_decode(&t, six, 6);
  EXPECT_EQ(t.tm_year + 1900, 1996);
  EXPECT_EQ(t.tm_sec, 5);
}

TEST(MbusDateCentury, NormalisedRecordsAndBothXmlForms) {
  const auto bytes = Reply(kRecords);
  const auto plain = Values(mbus::DecodeTelegrams(bytes, false));
  const auto normalised = Values(mbus::DecodeTelegrams(bytes, true));
  ASSERT_EQ(plain.size(), std::size(kExpected));
  ASSERT_EQ(normalised.size(), std::size(kExpected));
  for (size_t i = 0; i < std::size(kExpected); ++i) {
    const std::string expected = kExpected[i];
    EXPECT_EQ(plain[i], expected);
    EXPECT_EQ(normalised[i], expected.size() > 10 ? expected + "Z" : expected);
  }

  mbus_frame frame{};
  auto raw = bytes;
  ASSERT_EQ(mbus_parse(&frame, raw.data(), raw.size()), 0);
  mbus_frame_data data{};
  ASSERT_EQ(mbus_frame_data_parse(nullptr, &frame, &data), 0);
  size_t i = 0;
  for (mbus_data_record* r = data.data_var.record; r; r = r->next, ++i) {
    ASSERT_LT(i, std::size(kExpected));
    mbus_record* record = mbus_parse_variable_record(nullptr, r);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(std::string(record->value.str_val.value).substr(0, 10),
              std::string(kExpected[i]).substr(0, 10));
    mbus_record_free(record);
    char* value = mbus_data_record_value(r);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::string(value), kExpected[i]);
    mbus_str_free(value);
  }
  mbus_data_record_free(data.data_var.record);
}
