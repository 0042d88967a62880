// A second next-run computation for tests, written from the schedule rules on the standard
// library's calendar (std::chrono::year_month_day and friends) and walking day by day, so that it
// shares neither the day-number arithmetic nor the search shortcuts of scheduling/next_run.cc.
#ifndef KOLVAR_TESTS_SCHEDULING_SCHEDULE_ORACLE_H_
#define KOLVAR_TESTS_SCHEDULING_SCHEDULE_ORACLE_H_

#include <cstdint>

#include "scheduling/schedule_parameters.h"
#include "scheduling/task_record.h"

namespace kolvar::testing {

// The next run of a daily, weekly or monthly schedule, or the zero time when there is none within
// the search bound; the same contract as ComputeNextRun.
TaskTime OracleNextRun(uint32_t schedule_type, const TaskTime& last_run,
                       const ScheduleParameters& parameters, const TaskTime& now);

}  // namespace kolvar::testing

#endif  // KOLVAR_TESTS_SCHEDULING_SCHEDULE_ORACLE_H_
