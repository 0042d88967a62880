// Known answers of the next-run computation and of postponing: the cases the task manager and the
// editor meet at month ends, year ends and leap days, and the schedules that have no next run.
#include "scheduling/next_run.h"

#include <gtest/gtest.h>

#include <ostream>

namespace kolvar {

void PrintTo(const TaskTime& t, std::ostream* out) {
  *out << t.year << "-" << t.month << "-" << t.day << " " << t.hour << ":" << t.minute;
}

namespace {

ScheduleParameters Daily(int32_t hour, int32_t minute, int32_t every) {
  ScheduleParameters p = ZeroScheduleParameters();
  p.daily = {hour, minute, every};
  return p;
}

// Days as "MTWTFSS" flags.
ScheduleParameters Weekly(int32_t hour, int32_t minute, int32_t every, const char* days) {
  ScheduleParameters p = ZeroScheduleParameters();
  p.weekly.hour = hour;
  p.weekly.minute = minute;
  p.weekly.every_weeks = every;
  for (int i = 0; i < 7; ++i) p.weekly.days[i] = days[i] != '-';
  return p;
}

// Months as twelve flags, "-" for a month not chosen.
void SetMonths(ScheduleParameters* p, const char* months) {
  for (int i = 0; i < 12; ++i) p->monthly.months[i] = months[i] != '-';
}

ScheduleParameters MonthDay(int32_t hour, int32_t minute, int32_t day, const char* months) {
  ScheduleParameters p = ZeroScheduleParameters();
  p.monthly.hour = hour;
  p.monthly.minute = minute;
  p.monthly.day_mode = 1;
  p.monthly.day = day;
  SetMonths(&p, months);
  return p;
}

ScheduleParameters MonthWeekday(int32_t hour, int32_t minute, int32_t ordinal, int32_t weekday,
                                const char* months) {
  ScheduleParameters p = ZeroScheduleParameters();
  p.monthly.hour = hour;
  p.monthly.minute = minute;
  p.monthly.weekday_mode = 1;
  p.monthly.ordinal = ordinal;
  p.monthly.weekday = weekday;
  SetMonths(&p, months);
  return p;
}

constexpr const char* kAllMonths = "JFMAMJJASOND";

struct NextRunCase {
  const char* what;
  uint32_t type;
  ScheduleParameters parameters;
  TaskTime last_run;
  TaskTime now;
  TaskTime expected;
};

TEST(NextRunTest, KnownAnswers) {
  // 12 March 2026 is a Thursday; 1 March 2026 a Sunday.
  const NextRunCase cases[] = {
      {"daily at the scheduled minute exactly: an equal time is not later",
       kScheduleDaily,
       Daily(9, 0, 1),
       {2026, 3, 10, 9, 0},
       {2026, 3, 10, 9, 0},
       {2026, 3, 11, 9, 0}},
      {"daily before the time: today",
       kScheduleDaily,
       Daily(9, 0, 1),
       kNoTime,
       {2026, 3, 10, 8, 59},
       {2026, 3, 10, 9, 0}},
      {"daily every 3 days counts from the last run",
       kScheduleDaily,
       Daily(9, 0, 3),
       {2026, 3, 1, 9, 0},
       {2026, 3, 10, 12, 0},
       {2026, 3, 13, 9, 0}},
      {"daily across the year end",
       kScheduleDaily,
       Daily(0, 0, 1),
       {2026, 12, 31, 0, 0},
       {2026, 12, 31, 0, 0},
       {2027, 1, 1, 0, 0}},
      {"daily across 28 February of a leap year",
       kScheduleDaily,
       Daily(23, 59, 1),
       {2028, 2, 28, 23, 59},
       {2028, 2, 28, 23, 59},
       {2028, 2, 29, 23, 59}},
      {"daily across 28 February of a common year",
       kScheduleDaily,
       Daily(23, 59, 1),
       {2027, 2, 28, 23, 59},
       {2027, 2, 28, 23, 59},
       {2027, 3, 1, 23, 59}},
      {"daily interval 0 has no next run",
       kScheduleDaily,
       Daily(9, 0, 0),
       kNoTime,
       {2026, 3, 10, 8, 0},
       kNoTime},
      {"weekly every 2 weeks Mon and Thu, on a Thursday after the time: Monday 11 days later",
       kScheduleWeekly,
       Weekly(8, 0, 2, "M--T---"),
       {2026, 3, 12, 10, 0},
       {2026, 3, 12, 10, 0},
       {2026, 3, 23, 8, 0}},
      {"weekly on a Thursday before the time: that day",
       kScheduleWeekly,
       Weekly(8, 0, 2, "M--T---"),
       {2026, 3, 12, 7, 0},
       {2026, 3, 12, 7, 0},
       {2026, 3, 12, 8, 0}},
      {"weekly Sunday only begins the next week (weeks run Sunday to Saturday)",
       kScheduleWeekly,
       Weekly(8, 0, 1, "------S"),
       kNoTime,
       {2026, 3, 14, 9, 0},
       {2026, 3, 15, 8, 0}},
      {"weekly every 3 weeks on Sunday from a Saturday",
       kScheduleWeekly,
       Weekly(8, 0, 3, "------S"),
       kNoTime,
       {2026, 3, 14, 9, 0},
       {2026, 3, 29, 8, 0}},
      {"weekly with no day has no next run",
       kScheduleWeekly,
       Weekly(8, 0, 1, "-------"),
       kNoTime,
       {2026, 3, 14, 9, 0},
       kNoTime},
      {"monthly on day 20, run on the 5th after the time: the 20th",
       kScheduleMonthly,
       MonthDay(9, 0, 20, kAllMonths),
       {2026, 3, 5, 10, 0},
       {2026, 3, 5, 10, 0},
       {2026, 3, 20, 9, 0}},
      {"monthly on day 31 of April only has no next run",
       kScheduleMonthly,
       MonthDay(9, 0, 31, "---A--------"),
       kNoTime,
       {2026, 3, 5, 10, 0},
       kNoTime},
      {"monthly on day 31 skips the 30-day months",
       kScheduleMonthly,
       MonthDay(9, 0, 31, kAllMonths),
       kNoTime,
       {2026, 3, 31, 10, 0},
       {2026, 5, 31, 9, 0}},
      {"monthly on day 29 of February waits for a leap year",
       kScheduleMonthly,
       MonthDay(9, 0, 29, "-F----------"),
       kNoTime,
       {2026, 3, 1, 10, 0},
       {2028, 2, 29, 9, 0}},
      {"monthly on day 15 of December only, after it: next year",
       kScheduleMonthly,
       MonthDay(9, 0, 15, "-----------D"),
       kNoTime,
       {2026, 12, 20, 10, 0},
       {2027, 12, 15, 9, 0}},
      {"monthly with no month has no next run",
       kScheduleMonthly,
       MonthDay(9, 0, 15, "------------"),
       kNoTime,
       {2026, 12, 20, 10, 0},
       kNoTime},
      {"monthly day 0 has no next run",
       kScheduleMonthly,
       MonthDay(9, 0, 0, kAllMonths),
       kNoTime,
       {2026, 12, 20, 10, 0},
       kNoTime},
      {"last Friday, run on the 30th after the 27th: the next month's last Friday",
       kScheduleMonthly,
       MonthWeekday(9, 0, kOrdinalLast, 5, kAllMonths),
       {2026, 3, 30, 9, 0},
       {2026, 3, 30, 9, 0},
       {2026, 4, 24, 9, 0}},
      {"last Friday with April off: the next enabled month",
       kScheduleMonthly,
       MonthWeekday(9, 0, kOrdinalLast, 5, "JFM-MJJASOND"),
       kNoTime,
       {2026, 3, 30, 9, 0},
       {2026, 5, 29, 9, 0}},
      {"first Monday of the month from its 1st, a Wednesday",
       kScheduleMonthly,
       MonthWeekday(9, 0, 0, 1, kAllMonths),
       kNoTime,
       {2026, 4, 1, 9, 0},
       {2026, 4, 6, 9, 0}},
      {"fourth Sunday, December to January of the next year",
       kScheduleMonthly,
       MonthWeekday(9, 0, 3, 0, kAllMonths),
       kNoTime,
       {2026, 12, 28, 9, 0},
       {2027, 1, 24, 9, 0}},
      {"neither monthly mode: today at the time when it is ahead",
       kScheduleMonthly,
       [] {
         ScheduleParameters p = MonthDay(9, 0, 0, kAllMonths);
         p.monthly.day_mode = 0;
         return p;
       }(),
       kNoTime,
       {2026, 3, 5, 8, 0},
       {2026, 3, 5, 9, 0}},
      {"neither monthly mode, time passed: no next run (it would fire at once, over and over)",
       kScheduleMonthly,
       [] {
         ScheduleParameters p = MonthDay(9, 0, 0, kAllMonths);
         p.monthly.day_mode = 0;
         return p;
       }(),
       kNoTime,
       {2026, 3, 5, 10, 0},
       kNoTime},
      {"an hour that is no hour has no next run",
       kScheduleDaily,
       Daily(24, 0, 1),
       kNoTime,
       {2026, 3, 5, 10, 0},
       kNoTime},
      {"once is not computed",
       kScheduleOnce,
       Daily(9, 0, 1),
       kNoTime,
       {2026, 3, 5, 10, 0},
       kNoTime},
      {"a last run that is no date counts as today",
       kScheduleDaily,
       Daily(9, 0, 1),
       {2026, 2, 30, 9, 0},
       {2026, 3, 5, 8, 0},
       {2026, 3, 5, 9, 0}},
  };
  for (const NextRunCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ComputeNextRun(c.type, c.last_run, c.parameters, c.now), c.expected);
  }
}

TEST(NextRunTest, TheEditorSetsAOnceTaskToItsStoredMomentEvenInThePast) {
  TaskRecord record = EmptyTaskRecord();
  record.schedule_type = kScheduleOnce;
  ScheduleParameters p = ZeroScheduleParameters();
  p.once = {7, 30, 1, 2, 2020};
  EXPECT_EQ(EditorNextRun(record, p, {2026, 3, 5, 10, 0}), (TaskTime{2020, 2, 1, 7, 30}));
  p.once = {7, 30, 30, 2, 2020};
  EXPECT_EQ(EditorNextRun(record, p, {2026, 3, 5, 10, 0}), kNoTime);
  record.schedule_type = kScheduleOnConnection;
  record.next_run = {2026, 1, 1, 1, 1};
  EXPECT_EQ(EditorNextRun(record, p, {2026, 3, 5, 10, 0}), record.next_run);
}

struct PostponeCase {
  const char* what;
  TaskTime next_run;
  TaskTime now;
  int interval;
  TaskTime expected;
};

TEST(NextRunTest, PostponeCarriesMinutesHoursAndDays) {
  const TaskTime now = {2026, 6, 15, 14, 20};
  const PostponeCase cases[] = {
      {"1 hour at 23:30", {2026, 3, 5, 23, 30}, now, 1, {2026, 3, 6, 0, 30}},
      {"10 minutes at 12:55", {2026, 3, 5, 12, 55}, now, 0, {2026, 3, 5, 13, 5}},
      {"5 hours", {2026, 3, 5, 12, 55}, now, 5, {2026, 3, 5, 17, 55}},
      {"1 day at a year end", {2026, 12, 31, 8, 0}, now, 6, {2027, 1, 1, 8, 0}},
      {"1 day onto a leap day", {2028, 2, 28, 8, 0}, now, 6, {2028, 2, 29, 8, 0}},
      {"10 minutes at 23:55 of a month end", {2027, 4, 30, 23, 55}, now, 0, {2027, 5, 1, 0, 5}},
      {"no next run: from now", kNoTime, now, 2, {2026, 6, 15, 16, 20}},
      {"a next run that is no date: from now", {2026, 2, 31, 8, 0}, now, 0, {2026, 6, 15, 14, 30}},
  };
  for (const PostponeCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(PostponedRun(c.next_run, c.now, c.interval), c.expected);
  }
}

}  // namespace
}  // namespace kolvar
