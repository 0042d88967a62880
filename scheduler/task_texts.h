// How the scheduler editor words a task: the description of its schedule, its status and its last
// and next start, exactly as the task list and the task pages show them.
#ifndef KOLVAR_SCHEDULER_TASK_TEXTS_H_
#define KOLVAR_SCHEDULER_TASK_TEXTS_H_

#include <cstdint>
#include <string>

#include "scheduling/schedule_parameters.h"
#include "scheduling/task_record.h"

namespace kolvar {

inline constexpr char16_t kNotExecutedYet[] = u"not executed yet";
inline constexpr char16_t kNextStartAtStartup[] = u"on startup system";
inline constexpr char16_t kNextStartOnConnection[] = u"on connected";
inline constexpr char16_t kNextStartWhenIdle[] = u"on system idle";
inline constexpr char16_t kNextStartNotAvailable[] = u"not available";
inline constexpr char16_t kStatusDisabled[] = u"Disabled";
inline constexpr char16_t kStatusPending[] = u"Pending";

// The description of a schedule of `type` ("Execute at 08:05 on Mon, Thu, every 2 week(s)", ...);
// empty for an unknown type.
std::u16string TaskDescription(uint32_t type, const ScheduleParameters& parameters);
// "dd/mm/yyyy hh:mm" of the last run, or "not executed yet".
std::u16string LastStartText(const TaskRecord& record);
// The same of the next run; without one, by type: "on startup system", "on connected",
// "on system idle", else "not available". In the task list a failed task with retry on failure
// shows the event it waits for (ListNextStartText).
std::u16string NextStartText(const TaskRecord& record);
std::u16string ListNextStartText(const TaskRecord& record);
// "Disabled", the record's status, or "Pending" when it has none.
std::u16string StatusText(const TaskRecord& record);

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULER_TASK_TEXTS_H_
