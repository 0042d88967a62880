// The editor's texts of a task; see task_texts.h.
#include "scheduler/task_texts.h"

#include <cstdio>
#include <string>

namespace kolvar {
namespace {

constexpr const char* kDayNames[7] = {"Mon, ", "Tue, ", "Wed, ", "Thu, ",
                                      "Fri, ", "Sat, ", "Sun, "};
constexpr const char* kMonthNames[12] = {"Jan, ", "Feb, ", "Mar, ", "Apr, ", "May, ", "Jun, ",
                                         "Jul, ", "Aug, ", "Sep, ", "Oct, ", "Nov, ", "Dec, "};
constexpr const char* kOrdinalNames[5] = {"First", "Second", "Third", "Fourth", "Last"};
constexpr const char* kWeekdayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[512];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

const char* NameOf(const char* const* names, int32_t count, int32_t index) {
  return index >= 0 && index < count ? names[index] : "";
}

std::u16string MomentText(const TaskTime& t) {
  return Wide(Format("%02d/%02d/%04d %02d:%02d", t.day, t.month, t.year, t.hour, t.minute));
}

}  // namespace

std::u16string TaskDescription(uint32_t type, const ScheduleParameters& p) {
  switch (type) {
    case kScheduleDaily:
      return Wide(Format("Execute at %02d:%02d every %d day(s)", p.daily.hour, p.daily.minute,
                         p.daily.every_days));
    case kScheduleWeekly: {
      std::string days;
      for (int i = 0; i < 7; ++i) days += p.weekly.days[i] != 0 ? kDayNames[i] : "";
      return Wide(Format("Execute at %02d:%02d on %severy %d week(s)", p.weekly.hour,
                         p.weekly.minute, days.c_str(), p.weekly.every_weeks));
    }
    case kScheduleMonthly: {
      const auto& m = p.monthly;
      const std::string day_part = m.day_mode != 0
                                       ? Format("day %d", m.day)
                                       : Format("%s %s", NameOf(kOrdinalNames, 5, m.ordinal),
                                                NameOf(kWeekdayNames, 7, m.weekday));
      std::string months;
      for (int i = 0; i < 12; ++i) months += m.months[i] != 0 ? kMonthNames[i] : "";
      std::string text = Format("Execute at %02d:%02d on %s of %s", m.hour, m.minute,
                                day_part.c_str(), months.c_str());
      // The comma of the last ", " becomes a full stop; the space after it stays.
      if (text.size() >= 2) text[text.size() - 2] = '.';
      return Wide(text);
    }
    case kScheduleOnce:
      return Wide(Format("Execute at %02d:%02d of %02d/%02d/%04d", p.once.hour, p.once.minute,
                         p.once.day, p.once.month, p.once.year));
    case kScheduleAtStartup:
      return u"Execute when system startup";
    case kScheduleOnConnection:
      return Wide(
          Format("Execute this task when connected%s", p.once_a_day != 0 ? " once a day." : ""));
    case kScheduleWhenIdle:
      return Wide(Format("Execute when idle for %d minutes", p.idle_minutes));
    default:
      return u"";
  }
}

std::u16string LastStartText(const TaskRecord& record) {
  return record.last_run.day == 0 ? kNotExecutedYet : MomentText(record.last_run);
}

std::u16string NextStartText(const TaskRecord& record) {
  if (record.next_run.day != 0) return MomentText(record.next_run);
  switch (record.schedule_type) {
    case kScheduleAtStartup:
      return kNextStartAtStartup;
    case kScheduleOnConnection:
      return kNextStartOnConnection;
    case kScheduleWhenIdle:
      return kNextStartWhenIdle;
    default:
      return kNextStartNotAvailable;
  }
}

std::u16string ListNextStartText(const TaskRecord& record) {
  if (record.retry_on_failure != 0 && TaskStatus(record) == kTaskStatusFailure) {
    return record.kind == kTaskKindScan ? kNextStartAtStartup : kNextStartOnConnection;
  }
  return NextStartText(record);
}

std::u16string StatusText(const TaskRecord& record) {
  if (record.enabled == 0) return kStatusDisabled;
  const std::u16string status = TaskStatus(record);
  return status.empty() ? kStatusPending : status;
}

}  // namespace kolvar
