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

struct TaskSave {
  TaskUpdate update = TaskUpdate::kFailed;
  bool registered = false;  // the registrations are as the record says
};

// Applies the save rules to *record (so the caller shows what was saved even when the file could
// not be written), registers the task with `task_manager` as its program (an enabled task, after
// clearing its registrations) or clears its registrations (a disabled one), and writes the record
// in place in the task list at `path`.
TaskSave SaveEditedTask(std::u16string_view path, std::u16string_view task_manager,
                        const ScheduleParameters& parameters, const TaskTime& now,
                        TaskRecord* record);

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULING_TASK_EDITING_H_
