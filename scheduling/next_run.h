// When a task runs next: the next-run computation of the daily, weekly and monthly schedules, the
// date of a "once" task, and postponing. Shared by the task manager, the scheduler editor and
// kvtasks, so that all three agree on every record.
//
// A candidate date is acceptable when it is after today, or today with the scheduled time of day
// (hour x 100 + minute) still ahead. Every search stops kSearchDays after today: a schedule that
// has no acceptable date before then (day 31 of April only, an interval of 0, no weekday or no
// month chosen, a time of day that is no time) gets no next run.
#ifndef KOLVAR_SCHEDULING_NEXT_RUN_H_
#define KOLVAR_SCHEDULING_NEXT_RUN_H_

#include <cstdint>

#include "scheduling/schedule_parameters.h"
#include "scheduling/task_record.h"

namespace kolvar {

// About five years.
inline constexpr int32_t kSearchDays = 5 * 366;

// The unset time: all fields zero.
inline constexpr TaskTime kNoTime = {0, 0, 0, 0, 0};

// The local date and time now, to the minute.
TaskTime CurrentTaskTime();

// The next run of a daily, weekly or monthly schedule, searched from the last-run date when it is
// a real date, else from today; kNoTime for other types and when no acceptable date exists.
TaskTime ComputeNextRun(uint32_t schedule_type, const TaskTime& last_run,
                        const ScheduleParameters& parameters, const TaskTime& now);
// The stored date and time of a "once" schedule, as the editor sets it (even a past one);
// kNoTime when it is no date.
TaskTime OnceRun(const ScheduleParameters& parameters);
// The next run that saving the task as enabled gives it: computed for types 0 to 2, the stored
// moment for type 3, and `current` (the record's own) for the event types.
TaskTime EditorNextRun(const TaskRecord& record, const ScheduleParameters& parameters,
                       const TaskTime& now);

// Postpone intervals in the order the Postpone dialog lists them: 10 minutes, 1 to 5 hours, 1 day.
inline constexpr int kPostponeIntervals = 7;
// The next run moved by interval k (0 to 6) from `next_run`, or from `now` when the next run has
// no date (or no real one). Minutes and hours carry into the next hour and the next day.
TaskTime PostponedRun(const TaskTime& next_run, const TaskTime& now, int interval);

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULING_NEXT_RUN_H_
