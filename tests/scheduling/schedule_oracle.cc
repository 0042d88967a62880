// The standard-library next-run computation; see schedule_oracle.h.
#include "tests/scheduling/schedule_oracle.h"

#include <chrono>

#include "scheduling/next_run.h"

namespace kolvar::testing {
namespace {

namespace chr = std::chrono;

bool RealDate(const TaskTime& t) {
  if (t.year < 1 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1) return false;
  return chr::year_month_day(chr::year{t.year}, chr::month(t.month), chr::day(t.day)).ok();
}

chr::sys_days Days(int32_t year, int32_t month, int32_t day) {
  return chr::year_month_day(chr::year{year}, chr::month(month), chr::day(day));
}

TaskTime At(chr::sys_days day, int32_t hour, int32_t minute) {
  const chr::year_month_day ymd(day);
  return TaskTime{static_cast<int>(ymd.year()), static_cast<int>(unsigned(ymd.month())),
                  static_cast<int>(unsigned(ymd.day())), hour, minute};
}

// The Sunday that begins the week of `day`.
chr::sys_days WeekStart(chr::sys_days day) {
  return day - chr::days{chr::weekday(day).c_encoding()};
}

}  // namespace

TaskTime OracleNextRun(uint32_t schedule_type, const TaskTime& last_run,
                       const ScheduleParameters& p, const TaskTime& now) {
  int32_t hour = 0, minute = 0;
  if (schedule_type == kScheduleDaily) {
    hour = p.daily.hour, minute = p.daily.minute;
  } else if (schedule_type == kScheduleWeekly) {
    hour = p.weekly.hour, minute = p.weekly.minute;
  } else if (schedule_type == kScheduleMonthly) {
    hour = p.monthly.hour, minute = p.monthly.minute;
  } else {
    return kNoTime;
  }
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return kNoTime;
  const chr::sys_days today = Days(now.year, now.month, now.day);
  const chr::sys_days start =
      RealDate(last_run) ? Days(last_run.year, last_run.month, last_run.day) : today;
  const chr::sys_days limit = today + chr::days{kSearchDays};
  const auto acceptable = [&](chr::sys_days day) {
    return day > today || (day == today && now.hour * 100 + now.minute < hour * 100 + minute);
  };

  if (schedule_type == kScheduleDaily) {
    const int32_t every = p.daily.every_days;
    if (every < 1) return kNoTime;
    for (chr::sys_days day = start; day <= limit; day += chr::days{1}) {
      if ((day - start).count() % every == 0 && acceptable(day)) return At(day, hour, minute);
    }
    return kNoTime;
  }

  if (schedule_type == kScheduleWeekly) {
    const int32_t every = p.weekly.every_weeks;
    if (every < 1) return kNoTime;
    // Weeks counted from the start's week; every N-th week is a running week.
    for (chr::sys_days day = start; day <= limit; day += chr::days{1}) {
      const int64_t week = (WeekStart(day) - WeekStart(start)).count() / 7;
      const unsigned iso = chr::weekday(day).iso_encoding();  // 1 Monday .. 7 Sunday
      if (week % every == 0 && p.weekly.days[iso - 1] != 0 && acceptable(day)) {
        return At(day, hour, minute);
      }
    }
    return kNoTime;
  }

  const auto& m = p.monthly;
  if (m.day_mode == 0 && m.weekday_mode == 0) {
    return acceptable(start) ? At(start, hour, minute) : kNoTime;
  }
  if (m.day_mode != 0) {
    if (m.day < 1 || m.day > 31) return kNoTime;
    for (chr::sys_days day = start; day <= limit; day += chr::days{1}) {
      const chr::year_month_day ymd(day);
      if (m.months[unsigned(ymd.month()) - 1] != 0 && unsigned(ymd.day()) == unsigned(m.day) &&
          acceptable(day)) {
        return At(day, hour, minute);
      }
    }
    return kNoTime;
  }
  if (m.ordinal < 0 || m.ordinal > 4 || m.weekday < 0 || m.weekday > 6) return kNoTime;
  const chr::year_month_day first_ymd(start);
  chr::year_month month = first_ymd.year() / first_ymd.month();
  for (;; month += chr::months{1}) {
    const chr::sys_days first = month / chr::day{1};
    if (first > limit) return kNoTime;
    if (m.months[unsigned(month.month()) - 1] == 0) continue;
    const chr::weekday weekday{static_cast<unsigned>(m.weekday)};
    const chr::sys_days candidate =
        m.ordinal == 4 ? chr::sys_days(month / weekday[chr::last])
                       : chr::sys_days(month / weekday[static_cast<unsigned>(m.ordinal) + 1]);
    if (candidate > limit) return kNoTime;
    if (acceptable(candidate)) return At(candidate, hour, minute);
  }
}

}  // namespace kolvar::testing
