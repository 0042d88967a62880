// KVScheduler's start-up: the configuration (created with its defaults when missing), the task
// list of the install folder ("Scheduler Database not found" when there is none), one copy at a
// time (a second start brings the running editor to the front and ends), then the task list until
// the user closes it. The windows come from SchedulerWindows, so tests run it without a display.
#ifndef KOLVAR_SCHEDULER_SCHEDULER_PROGRAM_H_
#define KOLVAR_SCHEDULER_SCHEDULER_PROGRAM_H_

#include <cstdint>
#include <string_view>

#include "scheduler/task_list_dialog.h"

namespace kolvar {

// String 40018.
inline constexpr char16_t kSchedulerDatabaseNotFound[] =
    u"\nScheduler Database not found. Please contact support.";

class SchedulerWindows {
 public:
  virtual ~SchedulerWindows() = default;
  virtual int Box(std::u16string_view caption, std::u16string_view text, uint32_t style) = 0;
  // Shows the task list until it ends; while it shows, a second start brings it to the front and
  // cancels the pages over it.
  virtual void RunMain(TaskListDialog& main) = 0;
};

enum class SchedulerStart {
  kNoDatabase,
  kAnotherCopyRuns,
  kRan,
};

SchedulerStart RunScheduler(SchedulerWindows& windows);

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULER_SCHEDULER_PROGRAM_H_
