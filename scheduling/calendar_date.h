// Dates as Julian day numbers: adding days is adding to the number, and the weekday is the number
// plus one modulo seven. Conversions follow the Gregorian calendar from 15 October 1582 on and the
// Julian calendar before it.
#ifndef KOLVAR_SCHEDULING_CALENDAR_DATE_H_
#define KOLVAR_SCHEDULING_CALENDAR_DATE_H_

#include <compare>
#include <cstdint>

namespace kolvar {

class CalendarDate {
 public:
  CalendarDate() = default;
  explicit CalendarDate(int32_t day_number) : day_number_(day_number) {}
  // The day number of a date; months January and February count as months 13 and 14 of the
  // year before.
  static CalendarDate FromYmd(int32_t year, int32_t month, int32_t day);

  int32_t day_number() const { return day_number_; }
  void Ymd(int32_t* year, int32_t* month, int32_t* day) const;
  int32_t Year() const;
  int32_t Month() const;
  int32_t Day() const;
  // 0 Sunday to 6 Saturday.
  int32_t Weekday() const;

  CalendarDate operator+(int32_t days) const { return CalendarDate(day_number_ + days); }
  CalendarDate operator-(int32_t days) const { return CalendarDate(day_number_ - days); }
  int32_t operator-(CalendarDate other) const { return day_number_ - other.day_number_; }
  friend auto operator<=>(CalendarDate, CalendarDate) = default;

 private:
  int32_t day_number_ = 0;
};

// Whether (year, month, day) names a real date of years 1 to 9999.
bool IsValidDate(int32_t year, int32_t month, int32_t day);
int32_t DaysInMonth(int32_t year, int32_t month);

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULING_CALENDAR_DATE_H_
