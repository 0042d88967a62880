// Text forms of kvtasks: moments as "YYYY-MM-DD HH:MM", schedule types by name, and the values of
// the editable fields.
#ifndef KOLVAR_TOOLS_KVTASKS_TASK_TEXT_H_
#define KOLVAR_TOOLS_KVTASKS_TASK_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "scheduling/task_record.h"

namespace kolvar::kvtasks {

// "YYYY-MM-DD HH:MM", or "unset" when the time has no date.
std::string MomentText(const TaskTime& time);
// Reads "YYYY-MM-DDTHH:MM" (a space in place of the "T" too) naming a real date and time.
bool ParseMoment(std::string_view text, TaskTime* time);
// "daily", "weekly", "monthly", "once", "startup", "connected", "idle", or the number.
std::string ScheduleTypeName(uint32_t type);
// A name above or a number from 0 to 6.
bool ParseScheduleType(std::string_view text, uint32_t* type);
// "0" or "1" (also "off"/"on", "no"/"yes", "false"/"true").
bool ParseFlag(std::string_view text, uint32_t* flag);
// A decimal task identifier (32 bits, unsigned).
bool ParseTaskId(std::string_view text, uint32_t* id);

}  // namespace kolvar::kvtasks

#endif  // KOLVAR_TOOLS_KVTASKS_TASK_TEXT_H_
