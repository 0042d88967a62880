// The task manager's work for one start: find the task named by the command line, take the
// user's choice (run, cancel, postpone, or none), start the main program with "DOSCAN" or
// "DOUPDATE", compute and register the next run, and write the record back. Everything outside
// the task list and the registrations goes through TaskManagerHost, so tests drive every path.
#ifndef KOLVAR_TASKMGR_TASK_MANAGER_H_
#define KOLVAR_TASKMGR_TASK_MANAGER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "scheduling/task_record.h"

namespace kolvar {

// The caption of the task manager's boxes and its name in the system log.
inline constexpr char16_t kTaskManagerCaption[] = u"TaskManager";
// String 1.
inline constexpr char16_t kTasksDatabaseNotFound[] =
    u"\nTasks Database not found. Please contact support.";
// The command words of the main program for the two kinds of task.
inline constexpr char16_t kTaskCommandScan[] = u"DOSCAN";
inline constexpr char16_t kTaskCommandUpdate[] = u"DOUPDATE";

// The user's answer to the Task Execution dialog, in the order its buttons offer them; kNone is
// the dialog closed without a button.
enum class TaskChoice { kRun, kCancel, kPostpone, kNone };
struct TaskAnswer {
  TaskChoice choice = TaskChoice::kRun;
  int postpone_interval = 0;  // 0 to 6, the Postpone dialog's list
};

class TaskManagerHost {
 public:
  virtual ~TaskManagerHost() = default;
  virtual TaskTime Now() = 0;
  virtual bool IsConnected() = 0;
  // Starts a program with its command line, without waiting for it.
  virtual bool StartProgram(std::u16string_view path, std::u16string_view command_line) = 0;
  // Asks whether to run the task now.
  virtual TaskAnswer Ask(const TaskRecord& record) = 0;
  // The box that tells that the task list is missing (hand icon).
  virtual void ShowDatabaseNotFound() = 0;
  // A line for the system log.
  virtual void Log(std::u16string_view text) = 0;
};

// What one start did, for tests and the log.
enum class TaskOutcome {
  kNoCommandLine,
  kNoDatabase,
  kNoSuchTask,
  kRan,
  kFailed,
  kCancelled,
  kPostponed,
  kNotStarted,  // no choice: the next run was computed, nothing started
  kNotWritten,  // the record could not be written back
};

// Runs one start of the task manager for the install folder and command line.
TaskOutcome RunTaskManager(std::u16string_view install_folder, std::u16string_view command_line,
                           TaskManagerHost& host);

}  // namespace kolvar

#endif  // KOLVAR_TASKMGR_TASK_MANAGER_H_
