// The two tasks that the suite installs in KVTasks.dat, both disabled until the user turns them
// on: a weekly scan of the whole device and a daily update. The programs never add records, so
// these are the only tasks there are.
#ifndef KOLVAR_SCHEDULING_DEFAULT_TASKS_H_
#define KOLVAR_SCHEDULING_DEFAULT_TASKS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "scheduling/task_record.h"

namespace kolvar {

// Task 1 "Weekly scan": a scan task, Mondays at 12:00 every week.
inline constexpr uint32_t kDefaultScanTaskId = 1;
// Task 2 "Daily update": an update task, every day at 10:00.
inline constexpr uint32_t kDefaultUpdateTaskId = 2;

// The records in file order. Both ask before running and retry on failure once enabled.
std::vector<TaskRecord> DefaultTaskRecords();
// The bytes of the installed KVTasks.dat.
std::string DefaultTaskFileBytes();

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULING_DEFAULT_TASKS_H_
