// The next-run computation agrees with the standard-library oracle: on a table of month ends,
// leap days, year ends and ordinal weekdays, and on thousands of random schedules and moments, in
// this process and through kvtasks.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "scheduling/next_run.h"
#include "scheduling/task_database.h"
#include "tests/scheduling/schedule_oracle.h"
#include "tests/testing/test_device.h"

namespace kolvar {

void PrintTo(const TaskTime& t, std::ostream* out) {
  *out << t.year << "-" << t.month << "-" << t.day << " " << t.hour << ":" << t.minute;
}

namespace {

using testing::OracleNextRun;

int32_t DaysInMonthForTest(int32_t year, int32_t month) {
  namespace chr = std::chrono;
  const chr::year_month_day_last last(chr::year{year}, chr::month_day_last(chr::month(month)));
  return static_cast<int32_t>(unsigned(last.day()));
}

// A random schedule of type 0 to 2, mostly valid, sometimes what the editor would refuse.
struct RandomTask {
  uint32_t type;
  TaskTime last_run;
  ScheduleParameters parameters;
  TaskTime now;
};

class Generator {
 public:
  explicit Generator(uint32_t seed) : random_(seed) {}

  int32_t Between(int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(random_);
  }
  bool Chance(int percent) { return Between(1, 100) <= percent; }

  TaskTime Moment() {
    TaskTime t{};
    t.year = Between(1999, 2101);
    t.month = Between(1, 12);
    t.day = Between(1, Chance(30) ? 31 : 28);  // month ends often
    if (t.day > 28) {
      static constexpr int kLength[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
      const bool leap = t.year % 4 == 0 && (t.year % 100 != 0 || t.year % 400 == 0);
      const int length = t.month == 2 ? (leap ? 29 : 28) : kLength[t.month - 1];
      if (t.day > length) t.day = length;
    }
    t.hour = Between(0, 23);
    t.minute = Chance(30) ? Between(0, 1) * 59 : Between(0, 59);
    return t;
  }

  int32_t Interval() {
    if (Chance(3)) return 0;
    if (Chance(2)) return Between(400, 100000);
    return Between(1, 6);
  }

  RandomTask Task() {
    RandomTask task{};
    task.type = static_cast<uint32_t>(Between(0, 2));
    task.now = Moment();
    task.parameters = ZeroScheduleParameters();
    const int32_t hour = Chance(2) ? 24 : Between(0, 23);
    const int32_t minute = Chance(30) ? task.now.minute : Between(0, 59);
    // Often the very hour and minute of now, to meet the equal-time rule.
    const int32_t same_hour = Chance(30) ? task.now.hour : hour;
    task.last_run = kNoTime;
    if (Chance(50)) {
      task.last_run = task.now;
      if (Chance(50)) {
        task.last_run = Moment();
        task.last_run.year = task.now.year - Between(0, 2);
        if (task.last_run.month == 2 && task.last_run.day == 29) task.last_run.day = 28;
      }
      if (Chance(3)) task.last_run.day = 31, task.last_run.month = 4;  // no date
    }
    ScheduleParameters& p = task.parameters;
    p.daily = {same_hour, minute, Interval()};
    p.weekly.hour = same_hour;
    p.weekly.minute = minute;
    p.weekly.every_weeks = Interval();
    for (int32_t& day : p.weekly.days) day = Chance(25) ? 1 : 0;
    p.monthly.hour = same_hour;
    p.monthly.minute = minute;
    p.monthly.day_mode = Chance(50) ? 1 : 0;
    p.monthly.weekday_mode = Chance(90) ? 1 : 0;
    p.monthly.day = Chance(5) ? Between(-1, 40) : Between(1, 31);
    p.monthly.ordinal = Chance(3) ? 5 : Between(0, 4);
    p.monthly.weekday = Between(0, 6);
    for (int32_t& month : p.monthly.months) month = Chance(30) ? 1 : 0;
    return task;
  }

 private:
  std::mt19937 random_;
};

TEST(NextRunAgreementTest, ThousandsOfRandomSchedulesAgreeWithTheStandardCalendar) {
  Generator generator(20261210);
  int unset = 0;
  for (int i = 0; i < 5000; ++i) {
    const RandomTask task = generator.Task();
    const TaskTime ours = ComputeNextRun(task.type, task.last_run, task.parameters, task.now);
    const TaskTime oracle = OracleNextRun(task.type, task.last_run, task.parameters, task.now);
    unset += !oracle.HasDate();
    std::u16string text;
    FormatScheduleParameters(task.type, task.parameters, &text);
    ASSERT_EQ(ours, oracle) << "case " << i << " type " << task.type << " parameters "
                            << std::string(text.begin(), text.end()) << " now "
                            << ::testing::PrintToString(task.now) << " last run "
                            << ::testing::PrintToString(task.last_run);
  }
  // Both kinds of answers are met often.
  EXPECT_GT(unset, 200);
  EXPECT_LT(unset, 4000);
}

TEST(NextRunAgreementTest, TableOfMonthEndsLeapDaysYearEndsAndOrdinalWeekdays) {
  // Every (month, ordinal, weekday) and month-end day of 2023 to 2029 from the last day of each
  // month before, after and at the scheduled time.
  int checked = 0;
  for (int32_t year = 2023; year <= 2029; ++year) {
    for (int32_t month = 1; month <= 12; ++month) {
      for (int32_t day : {1, 28, 29, 30, 31}) {
        TaskTime now{year, month, day, 9, 0};
        const int32_t length = DaysInMonthForTest(year, month);
        if (day > length) continue;
        ScheduleParameters p = ZeroScheduleParameters();
        p.monthly.hour = 9;
        p.monthly.minute = 0;
        for (int32_t& m : p.monthly.months) m = 1;
        p.monthly.months[(month + 1) % 12] = 0;  // one month off, to skip over
        p.monthly.weekday_mode = 1;
        for (int32_t ordinal = 0; ordinal <= 4; ++ordinal) {
          for (int32_t weekday = 0; weekday <= 6; ++weekday) {
            p.monthly.ordinal = ordinal;
            p.monthly.weekday = weekday;
            ASSERT_EQ(ComputeNextRun(kScheduleMonthly, kNoTime, p, now),
                      OracleNextRun(kScheduleMonthly, kNoTime, p, now));
            ++checked;
          }
        }
        p.monthly.day_mode = 1;
        for (int32_t d : {28, 29, 30, 31}) {
          p.monthly.day = d;
          ASSERT_EQ(ComputeNextRun(kScheduleMonthly, kNoTime, p, now),
                    OracleNextRun(kScheduleMonthly, kNoTime, p, now));
          ++checked;
        }
        p.monthly.day_mode = 0;
        ScheduleParameters daily = ZeroScheduleParameters();
        daily.daily = {9, 0, 1};
        ASSERT_EQ(ComputeNextRun(kScheduleDaily, now, daily, now),
                  OracleNextRun(kScheduleDaily, now, daily, now));
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 10000);
}

}  // namespace
}  // namespace kolvar
