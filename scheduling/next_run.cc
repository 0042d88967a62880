// The next-run search; see next_run.h.
#include "scheduling/next_run.h"

#include "platform/file.h"
#include "scheduling/calendar_date.h"

namespace kolvar {
namespace {

bool IsTimeOfDay(int32_t hour, int32_t minute) {
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59;
}

// The search of one schedule: its start, today, the limit and the acceptability test.
class Search {
 public:
  Search(const TaskTime& last_run, const TaskTime& now, int32_t hour, int32_t minute)
      : today_(CalendarDate::FromYmd(now.year, now.month, now.day)),
        limit_(today_ + kSearchDays),
        now_of_day_(now.hour * 100 + now.minute),
        hour_(hour),
        minute_(minute) {
    start_ = IsValidDate(last_run.year, last_run.month, last_run.day)
                 ? CalendarDate::FromYmd(last_run.year, last_run.month, last_run.day)
                 : today_;
  }

  CalendarDate start() const { return start_; }
  CalendarDate today() const { return today_; }
  bool Beyond(CalendarDate date) const { return date > limit_; }
  bool Acceptable(CalendarDate date) const {
    return date > today_ || (date == today_ && now_of_day_ < hour_ * 100 + minute_);
  }
  TaskTime At(CalendarDate date) const {
    TaskTime time = kNoTime;
    date.Ymd(&time.year, &time.month, &time.day);
    time.hour = hour_;
    time.minute = minute_;
    return time;
  }

 private:
  CalendarDate today_;
  CalendarDate limit_;
  CalendarDate start_;
  int32_t now_of_day_;
  int32_t hour_;
  int32_t minute_;
};

TaskTime NextDaily(const ScheduleParameters::Daily& p, const Search& search) {
  const int64_t every = p.every_days;
  if (every < 1) return kNoTime;
  // Day numbers in 64 bits: an interval may be as large as the parameter text allows.
  int64_t day = search.start().day_number();
  const int64_t today = search.today().day_number();
  // Straight to the first candidate that is not before today; the ones before never count.
  if (day < today) day += (today - day + every - 1) / every * every;
  for (; day <= int64_t{search.today().day_number()} + kSearchDays; day += every) {
    const CalendarDate date(static_cast<int32_t>(day));
    if (search.Acceptable(date)) return search.At(date);
  }
  return kNoTime;
}

TaskTime NextWeekly(const ScheduleParameters::Weekly& p, const Search& search) {
  const int64_t every = p.every_weeks;
  if (every < 1) return kNoTime;
  bool any_day = false;
  for (int32_t day : p.days) any_day = any_day || day != 0;
  if (!any_day) return kNoTime;
  // Flags run Monday to Sunday; weekdays count from Sunday.
  const auto day_set = [&](CalendarDate date) {
    const int32_t weekday = date.Weekday();
    return p.days[weekday == 0 ? 6 : weekday - 1] != 0;
  };
  CalendarDate date = search.start();
  CalendarDate week_end = date + (6 - date.Weekday());  // Saturday of the start's week
  for (;;) {
    for (; date <= week_end; date = date + 1) {
      if (search.Beyond(date)) return kNoTime;
      if (day_set(date) && search.Acceptable(date)) return search.At(date);
    }
    // The Sunday N - 1 weeks after the next one; beyond the bound for a huge interval.
    const int64_t next_sunday = int64_t{week_end.day_number()} + 1 + 7 * (every - 1);
    if (next_sunday > int64_t{search.today().day_number()} + kSearchDays) return kNoTime;
    date = CalendarDate(static_cast<int32_t>(next_sunday));
    week_end = date + 6;
  }
}

TaskTime NextMonthly(const ScheduleParameters::Monthly& p, const Search& search) {
  if (p.day_mode == 0 && p.weekday_mode == 0) {
    // Neither mode: the start itself, when it is still ahead.
    return search.Acceptable(search.start()) ? search.At(search.start()) : kNoTime;
  }
  bool any_month = false;
  for (int32_t month : p.months) any_month = any_month || month != 0;
  if (!any_month) return kNoTime;
  if (p.day_mode != 0 ? (p.day < 1 || p.day > 31)
                      : (p.ordinal < kOrdinalFirst || p.ordinal > kOrdinalLast || p.weekday < 0 ||
                         p.weekday > 6)) {
    return kNoTime;
  }
  int32_t year, month, day;
  search.start().Ymd(&year, &month, &day);
  for (;; month == 12 ? (month = 1, ++year) : ++month) {
    const CalendarDate first = CalendarDate::FromYmd(year, month, 1);
    if (search.Beyond(first)) return kNoTime;
    if (p.months[month - 1] == 0) continue;
    CalendarDate candidate;
    if (p.day_mode != 0) {
      if (p.day > DaysInMonth(year, month)) continue;
      candidate = CalendarDate::FromYmd(year, month, p.day);
      if (candidate < search.start()) continue;
    } else if (p.ordinal == kOrdinalLast) {
      const CalendarDate last = first + (DaysInMonth(year, month) - 1);
      candidate = last - ((last.Weekday() - p.weekday + 7) % 7);
    } else {
      candidate = first + ((p.weekday - first.Weekday() + 7) % 7) + 7 * p.ordinal;
    }
    if (search.Beyond(candidate)) return kNoTime;
    if (search.Acceptable(candidate)) return search.At(candidate);
  }
}

}  // namespace

TaskTime CurrentTaskTime() {
  const platform::SystemTime now = platform::CurrentLocalTime();
  return TaskTime{now.year, now.month, now.day, now.hour, now.minute};
}

TaskTime ComputeNextRun(uint32_t schedule_type, const TaskTime& last_run,
                        const ScheduleParameters& parameters, const TaskTime& now) {
  switch (schedule_type) {
    case kScheduleDaily: {
      const auto& p = parameters.daily;
      if (!IsTimeOfDay(p.hour, p.minute)) return kNoTime;
      return NextDaily(p, Search(last_run, now, p.hour, p.minute));
    }
    case kScheduleWeekly: {
      const auto& p = parameters.weekly;
      if (!IsTimeOfDay(p.hour, p.minute)) return kNoTime;
      return NextWeekly(p, Search(last_run, now, p.hour, p.minute));
    }
    case kScheduleMonthly: {
      const auto& p = parameters.monthly;
      if (!IsTimeOfDay(p.hour, p.minute)) return kNoTime;
      return NextMonthly(p, Search(last_run, now, p.hour, p.minute));
    }
    default:
      return kNoTime;
  }
}

TaskTime OnceRun(const ScheduleParameters& parameters) {
  const auto& p = parameters.once;
  if (!IsValidDate(p.year, p.month, p.day) || !IsTimeOfDay(p.hour, p.minute)) return kNoTime;
  return TaskTime{p.year, p.month, p.day, p.hour, p.minute};
}

TaskTime EditorNextRun(const TaskRecord& record, const ScheduleParameters& parameters,
                       const TaskTime& now) {
  switch (record.schedule_type) {
    case kScheduleDaily:
    case kScheduleWeekly:
    case kScheduleMonthly:
      return ComputeNextRun(record.schedule_type, record.last_run, parameters, now);
    case kScheduleOnce:
      return OnceRun(parameters);
    default:
      return record.next_run;
  }
}

TaskTime PostponedRun(const TaskTime& next_run, const TaskTime& now, int interval) {
  TaskTime run = next_run;
  if (!IsValidDate(run.year, run.month, run.day) || !IsTimeOfDay(run.hour, run.minute)) run = now;
  if (interval <= 0) {
    run.minute += 10;
  } else if (interval <= 5) {
    run.hour += interval;
  } else {
    run.hour += 24;
  }
  if (run.minute >= 60) {
    run.minute -= 60;
    run.hour += 1;
  }
  if (run.hour >= 24) {
    run.hour -= 24;
    const CalendarDate next_day = CalendarDate::FromYmd(run.year, run.month, run.day) + 1;
    next_day.Ymd(&run.year, &run.month, &run.day);
  }
  return run;
}

}  // namespace kolvar
