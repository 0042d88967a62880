// The scheduling engine's side of the notification service: every registration of a task starts
// the task manager with the task's identifier as its command line, at the task's next run (second
// 1) or on the wake-up or network-connection event.
#ifndef KOLVAR_SCHEDULING_TASK_NOTIFICATIONS_H_
#define KOLVAR_SCHEDULING_TASK_NOTIFICATIONS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "scheduling/task_record.h"

namespace kolvar {

// The task manager's program file name in the install folder.
inline constexpr char16_t kTaskManagerProgramName[] = u"KVTaskMgr";
// The identifier that clears every registration of the task manager.
inline constexpr uint32_t kAllTasks = 0xFFFFFFFF;

std::u16string TaskManagerPath(std::u16string_view install_folder);
// The install folder of a task list path (the folder that holds it).
std::u16string InstallFolderOf(std::u16string_view task_database_path);

// Removes every registration whose program is `task_manager` and whose command line, read as a
// number, is `id` (every one of the task manager for kAllTasks). False with the platform's last
// error when the table cannot be read or changed.
bool ClearTaskNotifications(std::u16string_view task_manager, uint32_t id);
// Registers the task by its schedule type, after clearing its registrations when asked: a time
// registration at the next run for types 0 to 3 (none when the next run is unset), a wake-up one
// for type 4, a network-connection one for type 5, nothing for type 6.
bool RegisterTask(std::u16string_view task_manager, const TaskRecord& record, bool clear_first);
// One more registration of the task on an event (platform::kEventWakeup or
// platform::kEventNetworkConnection), without clearing: the retry after a failure. A task that
// has such a registration already (an at-start-up or on-connection task, or one that failed
// before) gets no second one, which would start it twice for one event.
bool RegisterTaskEvent(std::u16string_view task_manager, uint32_t id, uint32_t event);

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULING_TASK_NOTIFICATIONS_H_
