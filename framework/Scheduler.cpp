#include "framework/Scheduler.h"

#include <algorithm>

#include "platform/Time.h"

namespace {

constexpr int kMaxSearchSteps = 10000;
const char kNotCron[] = "Schedule is not in valid CRON format";

struct TBounds {
  std::int32_t Min, Max;
};
constexpr TBounds kBounds[7] = {{0, 59}, {0, 59}, {0, 23}, {1, 31}, {1, 12}, {1, 7}, {1900, 3000}};

// Strict decimal conversion: an optional sign and digits only.
std::int32_t StrToInt(const std::string& text) {
  std::size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  bool ok = i < text.size() && text.size() - i <= 9;
  for (std::size_t k = i; ok && k < text.size(); ++k) ok = text[k] >= '0' && text[k] <= '9';
  if (!ok) throw EConvertError("'" + text + "' is not a valid integer value");
  return std::stoi(text);
}

bool Has(const std::string& text, char c) {
  return text.find(c) != std::string::npos;
}

// A number of the field: inside the field's bounds, or the text is no cron.
std::int32_t FieldNumber(const std::string& text, const TBounds& b) {
  const std::int32_t value = StrToInt(text);
  if (value < b.Min || value > b.Max) throw EScheduleError(kNotCron);
  return value;
}

std::int32_t StepNumber(const std::string& text) {
  const std::int32_t step = StrToInt(text);
  if (step < 0) throw EScheduleError(kNotCron);
  return step;
}

// "A-B" as two numbers of the field with A <= B.
void ParseRange(const std::string& text, const TBounds& b, std::int32_t& lo, std::int32_t& hi) {
  const std::size_t dash = text.find('-');
  lo = FieldNumber(text.substr(0, dash), b);
  hi = FieldNumber(text.substr(dash + 1), b);
  if (lo > hi) throw EScheduleError(kNotCron);
}

// One list item: a number, or "A-B" with an optional "/step" (default 1).
void AddListItem(const std::string& item, const TBounds& b, TCronField& field) {
  std::string text = item;
  std::int32_t step = 1;
  const std::size_t slash = text.find('/');
  if (slash != std::string::npos) {
    step = std::max(1, StepNumber(text.substr(slash + 1)));
    text.resize(slash);
  }
  std::int32_t lo = 0, hi = 0;
  if (Has(text, '-')) {
    ParseRange(text, b, lo, hi);
  } else {
    lo = hi = FieldNumber(text, b);
  }
  for (std::int32_t v = lo; v <= hi; v += step) field.Values.push_back(v);
  field.Step = step;
}

void ParseList(const std::string& text, const TBounds& b, TCronField& field) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    AddListItem(text.substr(start, comma - start), b, field);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::sort(field.Values.begin(), field.Values.end());
  field.Values.erase(std::unique(field.Values.begin(), field.Values.end()), field.Values.end());
  field.Min = field.Values.front();
  field.Max = field.Values.back();
}

TCronField ParseField(std::string text, const TBounds& b) {
  TCronField field;
  std::int32_t step = 0;
  if (Has(text, '/') && !Has(text, ',')) {
    const std::size_t slash = text.find('/');
    step = StepNumber(text.substr(slash + 1));
    text.resize(slash);
  }
  if (Has(text, '*') || Has(text, '?')) {
    field.Min = b.Min;
    field.Max = b.Max;
    field.Relative = !Has(text, '*');
    field.Step = field.Relative ? step : std::max(1, step);
  } else if (Has(text, '-') && !Has(text, ',')) {
    ParseRange(text, b, field.Min, field.Max);
    field.Step = std::max(1, step);
  } else {
    ParseList(text, b, field);
  }
  return field;
}

std::vector<std::string> SplitAtSpaces(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t end = std::min(text.find(' ', i), text.size());
    if (end > i) parts.push_back(text.substr(i, end - i));
    i = end + 1;
  }
  return parts;
}

class TSystemClock : public TScheduleClock {
 public:
  TDateTime Now() const override { return plat::NowAsOleDate(); }
};

}  // namespace

const TScheduleClock& SystemScheduleClock() {
  static const TSystemClock clock;
  return clock;
}

// ---- field stepping

std::int32_t TChronEntryHelper::NextRelative(std::int32_t value) const {
  const std::int32_t next = value + FField.Step;
  if (next <= FField.Max) return next;
  return std::max(FField.Min, next % (FField.Max - FField.Min + 1));
}

std::int32_t TChronEntryHelper::NextInList(std::int32_t value) const {
  const auto it = std::lower_bound(FField.Values.begin(), FField.Values.end(), value);
  return it != FField.Values.end() ? *it : FField.Values.front();
}

std::int32_t TChronEntryHelper::NextInRange(std::int32_t value) const {
  if (value < FField.Min || value > FField.Max) return FField.Min;
  const std::int32_t offset = (value - FField.Min) % FField.Step;
  if (offset == 0) return value;
  const std::int32_t next = value + (FField.Step - offset);
  return next > FField.Max ? FField.Min : next;
}

std::int32_t TChronEntryHelper::NextAtOrAfter(std::int32_t value) const {
  if (FField.Relative) return NextRelative(value);
  if (!FField.Values.empty()) return NextInList(value);
  return NextInRange(value);
}

std::int32_t TChronEntryHelper::NextAfter(std::int32_t value) const {
  return FField.Relative ? NextRelative(value) : NextAtOrAfter(value + 1);
}

// ---- parsing

TCronFields ParseCronText(const std::string& text) {
  std::vector<std::string> parts = SplitAtSpaces(text);
  parts.resize(7, "*");
  TCronFields fields;
  bool allRelative = true;
  for (int i = 0; i < 7; ++i) {
    fields[i] = ParseField(parts[i], kBounds[i]);
    allRelative = allRelative && fields[i].Relative && fields[i].Step == 0;
  }
  if (allRelative) throw EScheduleError(kNotCron);
  return fields;
}

// ---- next-run search

namespace {

enum TPos { kSec, kMin, kHour, kDay, kMonth, kWeekDay, kYear };

// A "?" field has no value of its own: with step 0 it allows every value,
// with a step it allows the one value that step past the reference moment.
TCronFields ResolveRelative(const TCronFields& fields, const TDateParts& base) {
  const std::int32_t baseValue[7] = {base.Second, base.Minute, base.Hour, base.Day,
                                     base.Month,  0,           base.Year};
  TCronFields resolved = fields;
  for (int i = 0; i < 7; ++i) {
    TCronField& f = resolved[i];
    if (!f.Relative) continue;
    f.Relative = false;
    if (f.Step == 0 || i == kWeekDay) {
      f.Step = 1;
      continue;
    }
    f.Values = {TChronEntryHelper(fields[i]).NextAtOrAfter(baseValue[i])};
  }
  return resolved;
}

void ClearFrom(TDateParts& p, TPos pos) {
  if (pos >= kMonth) p.Month = 1;
  if (pos >= kDay) p.Day = 1;
  if (pos >= kHour) p.Hour = 0;
  if (pos >= kMin) p.Minute = 0;
  p.Second = 0;
}

// Moves p to the start of the next unit at position pos (carrying); the
// smaller components start again from their first value.
void Advance(TDateParts& p, TPos pos) {
  switch (pos) {
    case kYear:
      ++p.Year;
      break;
    case kMonth:
      if (++p.Month > 12) return ClearFrom(p, kMonth), Advance(p, kYear);
      break;
    case kDay:
      if (++p.Day > DaysInMonth(p.Year, p.Month)) return ClearFrom(p, kDay), Advance(p, kMonth);
      break;
    case kHour:
      if (++p.Hour > 23) return ClearFrom(p, kHour), Advance(p, kDay);
      break;
    case kMin:
      if (++p.Minute > 59) return ClearFrom(p, kMin), Advance(p, kHour);
      break;
    default:
      if (++p.Second > 59) return ClearFrom(p, kSec), Advance(p, kMin);
      return;
  }
  ClearFrom(p, static_cast<TPos>(pos - 1));
}

int& Component(TDateParts& p, TPos pos) {
  switch (pos) {
    case kYear:
      return p.Year;
    case kMonth:
      return p.Month;
    case kDay:
      return p.Day;
    case kHour:
      return p.Hour;
    case kMin:
      return p.Minute;
    default:
      return p.Second;
  }
}

// Brings one component to its next allowed value. True when p changed (the
// search then starts again from the year).
bool Settle(const TCronFields& f, TDateParts& p, TPos pos) {
  int& value = Component(p, pos);
  const std::int32_t next = TChronEntryHelper(f[pos]).NextAtOrAfter(value);
  if (next == value && (pos != kDay || value <= DaysInMonth(p.Year, p.Month))) return false;
  if (next < value || (pos == kDay && next > DaysInMonth(p.Year, p.Month))) {
    Advance(p, pos == kMonth ? kYear : static_cast<TPos>(pos + 1));
  } else {
    value = next;
    if (pos > kSec) ClearFrom(p, static_cast<TPos>(pos - 1));
  }
  return true;
}

bool WeekDayAllowed(const TCronFields& f, const TDateParts& p) {
  return TChronEntryHelper(f[kWeekDay]).Allows(DayOfTheWeek(EncodeDateTime(p)));
}

}  // namespace

TDateTime FindNextRun(const TCronFields& fields, TDateTime base) {
  TDateParts p = DecodeDateTime(base);
  p.MSec = 0;
  const TCronFields f = ResolveRelative(fields, p);
  Advance(p, kSec);
  const TPos order[] = {kYear, kMonth, kDay, kHour, kMin, kSec};
  for (int steps = 0;; ++steps) {
    if (steps > kMaxSearchSteps) throw EScheduleError("Invalid cron format");
    const std::int32_t year = p.Year;
    if (TChronEntryHelper(f[kYear]).NextAtOrAfter(year) < year) return 0;
    bool moved = false;
    for (TPos pos : order) {
      if (pos == kHour && !WeekDayAllowed(f, p)) {
        Advance(p, kDay);
        moved = true;
      }
      if (moved || (moved = Settle(f, p, pos))) break;
    }
    if (!moved) return EncodeDateTime(p);
  }
}

// ---- TSchedule

TSchedule::TSchedule(const TScheduleClock* clock)
    : FClock(clock != nullptr ? clock : &SystemScheduleClock()),
      FNextRun(FClock->Now()),
      FFields(ParseCronText("")) {}

void TSchedule::SetCronText(const std::string& text) {
  if (text == FCronText) return;
  FFields = ParseCronText(text);
  FCronText = text;
  Restart();
}

bool TSchedule::Restart() {
  FNextRun = Now();
  return CalcNextRun();
}

TDateTime TSchedule::RunAfter(TDateTime reference) const {
  const TDateTime base = std::max(reference, StartDate);
  if (EndDate != 0 && EndDate < base) return 0;
  const TDateTime next = FindNextRun(FFields, base);
  if (next == 0 || (EndDate != 0 && next > EndDate)) return 0;
  return next;
}

bool TSchedule::CalcNextRun() {
  FLastRun = FNextRun;
  if (FNextRun != 0) FNextRun = RunAfter(FNextRun);  // after the last run there is none
  return FNextRun != 0;
}

void TSchedule::Evaluate(bool& firstRun) {
  FState = kScheduleWait;
  const TDateTime now = Now();
  if (EndDate != 0 && now > EndDate) {
    FState = kScheduleExpired;
    return;
  }
  if (firstRun) {
    if (now >= StartDate) {
      FState = kScheduleFire;
    } else {
      FNextRun = StartDate;
    }
    firstRun = false;
    return;
  }
  if (FNextRun > now) return;
  if (!CalcNextRun()) {
    FState = kScheduleFireLast;
  } else if (StartDate == 0 || now >= StartDate) {
    FState = kScheduleFire;
  }
}
