// Day numbers against published values and against the standard library's own calendar, which
// shares no code with ours.
#include "scheduling/calendar_date.h"

#include <gtest/gtest.h>

#include <chrono>

namespace kolvar {
namespace {

namespace chr = std::chrono;

struct KnownDay {
  int32_t year, month, day;
  int32_t day_number;
  int32_t weekday;  // 0 Sunday
};

// Published Julian day numbers (the day that begins at noon of the Julian date).
constexpr KnownDay kKnownDays[] = {
    {2000, 1, 1, 2451545, 6},    // a Saturday
    {1970, 1, 1, 2440588, 4},    // a Thursday
    {1582, 10, 15, 2299161, 5},  // the first Gregorian day, a Friday
    {1582, 10, 4, 2299160, 4},   // the Julian day before it, a Thursday
    {1858, 11, 17, 2400001, 3},  // modified Julian day 0.5 later, a Wednesday
    {2024, 2, 29, 2460370, 4},  {2100, 3, 1, 2488129, 1},
};

TEST(CalendarDateTest, PublishedDayNumbersAndWeekdays) {
  for (const KnownDay& known : kKnownDays) {
    SCOPED_TRACE(::testing::Message() << known.year << "-" << known.month << "-" << known.day);
    const CalendarDate date = CalendarDate::FromYmd(known.year, known.month, known.day);
    EXPECT_EQ(date.day_number(), known.day_number);
    EXPECT_EQ(date.Weekday(), known.weekday);
    int32_t y, m, d;
    CalendarDate(known.day_number).Ymd(&y, &m, &d);
    EXPECT_EQ(y, known.year);
    EXPECT_EQ(m, known.month);
    EXPECT_EQ(d, known.day);
  }
}

// Every day from 1600 to 2400: the number advances by one per calendar day, converts back to the
// same date, and its weekday is the standard library's.
TEST(CalendarDateTest, EveryDayOfEightCenturiesAgreesWithTheStandardCalendar) {
  const chr::sys_days first = chr::year{1600} / chr::January / 1;
  const chr::sys_days last = chr::year{2400} / chr::December / 31;
  const int32_t base = CalendarDate::FromYmd(1600, 1, 1).day_number();
  int failures = 0;
  for (chr::sys_days day = first; day <= last && failures < 5; day += chr::days{1}) {
    const chr::year_month_day ymd(day);
    const int32_t y = static_cast<int>(ymd.year());
    const int32_t m = static_cast<int>(static_cast<unsigned>(ymd.month()));
    const int32_t d = static_cast<int>(static_cast<unsigned>(ymd.day()));
    const CalendarDate date = CalendarDate::FromYmd(y, m, d);
    int32_t by, bm, bd;
    date.Ymd(&by, &bm, &bd);
    const bool ok = date.day_number() == base + (day - first).count() && by == y && bm == m &&
                    bd == d && date.Weekday() == static_cast<int>(chr::weekday(day).c_encoding());
    if (!ok) {
      ++failures;
      ADD_FAILURE() << y << "-" << m << "-" << d << ": number " << date.day_number() << " back "
                    << by << "-" << bm << "-" << bd << " weekday " << date.Weekday();
    }
  }
}

TEST(CalendarDateTest, MonthLengthsAndValidDatesFollowTheLeapYearRule) {
  struct Case {
    int32_t year, month, days;
  } const cases[] = {{2024, 2, 29}, {2023, 2, 28}, {1900, 2, 28},  {2000, 2, 29},
                     {2100, 2, 28}, {2024, 4, 30}, {2024, 12, 31}, {2024, 13, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(DaysInMonth(c.year, c.month), c.days) << c.year << "-" << c.month;
    if (c.days == 0) continue;
    const chr::year_month_day_last last(chr::year{c.year},
                                        chr::month_day_last(chr::month(c.month)));
    EXPECT_EQ(static_cast<unsigned>(last.day()), static_cast<unsigned>(c.days));
  }
  EXPECT_TRUE(IsValidDate(2024, 2, 29));
  EXPECT_FALSE(IsValidDate(2023, 2, 29));
  EXPECT_FALSE(IsValidDate(2023, 0, 1));
  EXPECT_FALSE(IsValidDate(2023, 1, 0));
  EXPECT_FALSE(IsValidDate(0, 1, 1));
}

}  // namespace
}  // namespace kolvar
