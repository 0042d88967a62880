// The editor's save; see task_editing.h.
#include "scheduling/task_editing.h"

#include "scheduling/next_run.h"

namespace kolvar {

TaskUpdate SaveEditedTask(std::u16string_view path, const ScheduleParameters& parameters,
                          const TaskTime& now, TaskRecord* record) {
  if (record->enabled != 0) {
    record->enabled = 1;
    SerialiseScheduleParameters(parameters, record);
    record->next_run = EditorNextRun(*record, parameters, now);
  } else {
    record->in_background = 0;
    record->ask_before_running = 0;
    record->retry_on_failure = 0;
    record->next_run = kNoTime;
  }
  return UpdateTask(path, *record);
}

}  // namespace kolvar
