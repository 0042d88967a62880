// The editor's save; see task_editing.h.
#include "scheduling/task_editing.h"

#include "scheduling/next_run.h"
#include "scheduling/task_notifications.h"

namespace kolvar {

TaskSave SaveEditedTask(std::u16string_view path, std::u16string_view task_manager,
                        const ScheduleParameters& parameters, const TaskTime& now,
                        TaskRecord* record) {
  TaskSave save;
  if (record->enabled != 0) {
    record->enabled = 1;
    SerialiseScheduleParameters(parameters, record);
    record->next_run = EditorNextRun(*record, parameters, now);
    save.registered = RegisterTask(task_manager, *record, true);
  } else {
    save.registered = ClearTaskNotifications(task_manager, record->id);
    record->in_background = 0;
    record->ask_before_running = 0;
    record->retry_on_failure = 0;
    record->next_run = kNoTime;
  }
  save.update = UpdateTask(path, *record);
  return save;
}

}  // namespace kolvar
