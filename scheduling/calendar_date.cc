// Julian day numbers in integer arithmetic; see calendar_date.h. The usual statement of these
// conversions multiplies by 365.25 and 30.6001 in floating point; the integer forms below give the
// same floors without rounding surprises.
#include "scheduling/calendar_date.h"

namespace kolvar {
namespace {

// Floor division for possibly negative numerators.
int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

constexpr int64_t kDayNumberOffset = 1720995;
constexpr int32_t kFirstGregorianDayNumber = 2299161;  // 15 October 1582

}  // namespace

CalendarDate CalendarDate::FromYmd(int32_t year, int32_t month, int32_t day) {
  const int64_t y = month > 2 ? year : year - 1;
  const int64_t m = month > 2 ? month + 1 : month + 13;
  int64_t number = FloorDiv(1461 * y, 4) + FloorDiv(306001 * m, 10000) + day + kDayNumberOffset;
  const bool gregorian =
      year > 1582 || (year == 1582 && (month > 10 || (month == 10 && day >= 15)));
  if (gregorian) {
    const int64_t century = FloorDiv(y, 100);
    number += 2 - century + FloorDiv(century, 4);
  }
  return CalendarDate(static_cast<int32_t>(number));
}

void CalendarDate::Ymd(int32_t* year, int32_t* month, int32_t* day) const {
  int64_t a = day_number_;
  if (day_number_ >= kFirstGregorianDayNumber) {
    const int64_t alpha = FloorDiv(4 * a - 7468865, 146097);
    a = a + 1 + alpha - FloorDiv(alpha, 4);
  }
  const int64_t b = a + 1524;
  const int64_t c = FloorDiv(20 * b - 2442, 7305);
  const int64_t d = FloorDiv(1461 * c, 4);
  const int64_t e = FloorDiv(10000 * (b - d), 306001);
  *day = static_cast<int32_t>(b - d - FloorDiv(306001 * e, 10000));
  *month = static_cast<int32_t>(e < 14 ? e - 1 : e - 13);
  *year = static_cast<int32_t>(*month > 2 ? c - 4716 : c - 4715);
}

int32_t CalendarDate::Year() const {
  int32_t y, m, d;
  Ymd(&y, &m, &d);
  return y;
}

int32_t CalendarDate::Month() const {
  int32_t y, m, d;
  Ymd(&y, &m, &d);
  return m;
}

int32_t CalendarDate::Day() const {
  int32_t y, m, d;
  Ymd(&y, &m, &d);
  return d;
}

int32_t CalendarDate::Weekday() const {
  return static_cast<int32_t>(((static_cast<int64_t>(day_number_) + 1) % 7 + 7) % 7);
}

int32_t DaysInMonth(int32_t year, int32_t month) {
  static constexpr int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month != 2) return kDays[month - 1];
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  return leap ? 29 : 28;
}

bool IsValidDate(int32_t year, int32_t month, int32_t day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

}  // namespace kolvar
