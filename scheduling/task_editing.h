// Saving a task as the scheduler editor does, as one call so that the record and its
// registrations stay consistent: an enabled task gets its parameter text, its next run and a fresh
// registration; a disabled one loses its registrations, its options and its next run.
#ifndef KOLVAR_SCHEDULING_TASK_EDITING_H_
#define KOLVAR_SCHEDULING_TASK_EDITING_H_

#include <string_view>

#include "scheduling/schedule_parameters.h"
#include "scheduling/task_database.h"
#include "scheduling/task_record.h"

namespace kolvar {

// Applies the save rules to *record (so the caller shows what was saved even when the file could
// not be written) and writes it in place in the task list at `path`.
TaskUpdate SaveEditedTask(std::u16string_view path, const ScheduleParameters& parameters,
                          const TaskTime& now, TaskRecord* record);

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULING_TASK_EDITING_H_
