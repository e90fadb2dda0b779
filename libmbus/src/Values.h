// Reading the meaning of one data record: function, storage number, tariff,
// device, unit text and value. Pure functions over a parsed record.
#pragma once

#include <ctime>
#include <string>

#include "mbus/mbus-protocol.h"

namespace mbus {

enum class DateKind { kNone, kDate, kDateTime };

// A record's value before any multiplier. Integers and BCD keep their exact
// value in `integer`; invalid BCD also has its digits as hex in `text`.
struct Value {
  enum Kind { kNone, kNumber, kText };
  Kind kind = kNone;
  double number = 0;
  long long integer = 0;
  bool exact = false;
  bool bcd = false;
  std::string text;
  DateKind date = DateKind::kNone;
  struct tm time {};

  static Value Number(double number);
  static Value Integer(long long integer);
  static Value Text(std::string text);
};

bool IsManufacturerRecord(const mbus_data_record& r);
DateKind RecordDateKind(const mbus_data_record& r);
const char* FunctionText(const mbus_data_record& r);
long StorageNumber(const mbus_data_record& r);
long Tariff(const mbus_data_record& r);
int Device(const mbus_data_record& r);

std::string PlainUnit(const mbus_data_record& r);
Value RawValue(const mbus_data_record& r);
Value DateValue(const mbus_data_record& r, DateKind kind);
std::string PlainValueText(const mbus_data_record& r);
// "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SSZ".
std::string NormalisedDateText(const Value& v);

}  // namespace mbus
