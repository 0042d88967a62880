// The schedule of a task as integers, and its parameter text in the record: values joined by "|"
// with the format of the record's schedule type. Every member is present whatever the type, so the
// editor can fill defaults for all of them and parse the stored text over them.
#ifndef KOLVAR_SCHEDULING_SCHEDULE_PARAMETERS_H_
#define KOLVAR_SCHEDULING_SCHEDULE_PARAMETERS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "scheduling/task_record.h"

namespace kolvar {

// Ordinals of the weekday-of-month mode.
inline constexpr int32_t kOrdinalFirst = 0;
inline constexpr int32_t kOrdinalLast = 4;

struct ScheduleParameters {
  struct Daily {
    int32_t hour, minute, every_days;
    friend bool operator==(const Daily&, const Daily&) = default;
  } daily;
  struct Weekly {
    int32_t hour, minute, every_weeks;
    int32_t days[7];  // Monday first, Sunday last; 1 = run on that day
    friend bool operator==(const Weekly&, const Weekly&) = default;
  } weekly;
  struct Monthly {
    int32_t hour, minute;
    int32_t day_mode, day;
    int32_t weekday_mode, ordinal, weekday;  // weekday 0 Sunday to 6 Saturday
    int32_t months[12];                      // January first
    friend bool operator==(const Monthly&, const Monthly&) = default;
  } monthly;
  struct Once {
    int32_t hour, minute, day, month, year;
    friend bool operator==(const Once&, const Once&) = default;
  } once;
  int32_t once_a_day;    // on connection
  int32_t idle_minutes;  // when idle

  friend bool operator==(const ScheduleParameters&, const ScheduleParameters&) = default;
};

// All members zero.
ScheduleParameters ZeroScheduleParameters();

// Reads the parameter text of `type` over `parameters`: the pieces between bars, empty ones
// skipped, each a decimal integer (a leading sign and digits; anything else reads as 0) taken by
// the type's members in order; members without a piece keep their values and pieces beyond the
// members are ignored. Types 5 and 6 read the whole text as their one value; type 4 and unknown
// types read nothing.
void ParseScheduleParameters(uint32_t type, std::u16string_view text,
                             ScheduleParameters* parameters);
inline void ParseScheduleParameters(const TaskRecord& record, ScheduleParameters* parameters) {
  ParseScheduleParameters(record.schedule_type, TaskParameterText(record), parameters);
}

// The parameter text of `type` ("%d|%d|%d" for daily, ten values and a trailing bar for weekly,
// and so on); false for a type without a format.
bool FormatScheduleParameters(uint32_t type, const ScheduleParameters& parameters,
                              std::u16string* text);
// Writes the text of the record's type into the record; an unknown type leaves it as it was.
void SerialiseScheduleParameters(const ScheduleParameters& parameters, TaskRecord* record);

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULING_SCHEDULE_PARAMETERS_H_
