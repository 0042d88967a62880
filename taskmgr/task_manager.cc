// One start of the task manager; see task_manager.h.
#include "taskmgr/task_manager.h"

#include <cstdio>
#include <string>

#include "platform/file.h"
#include "platform/notification.h"
#include "platform/path.h"
#include "scheduling/calendar_date.h"
#include "scheduling/next_run.h"
#include "scheduling/schedule_parameters.h"
#include "scheduling/task_database.h"
#include "scheduling/task_notifications.h"

namespace kolvar {
namespace {

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::u16string MomentText(const TaskTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute);
  return Ascii(text);
}

// The command line as the device reads a decimal number: leading digits; none reads as 0.
uint32_t ReadIdentifier(std::u16string_view text) {
  uint64_t value = 0;
  size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = (value * 10 + (text[i] - u'0')) & 0xFFFFFFFFull;
  }
  return static_cast<uint32_t>(value);
}

// Minutes from a to b, both real dates.
int64_t MinutesBetween(const TaskTime& a, const TaskTime& b) {
  const int64_t days =
      CalendarDate::FromYmd(b.year, b.month, b.day) - CalendarDate::FromYmd(a.year, a.month, a.day);
  return days * 1440 + (b.hour - a.hour) * 60 + (b.minute - a.minute);
}

// Steps 1 and 2 of a run: the last run is now, the next run computed and registered again for the
// recurring types; a once task loses its registrations.
void RecordRunAndNext(const std::u16string& task_manager, const ScheduleParameters& parameters,
                      const TaskTime& now, TaskRecord* record, TaskManagerHost& host) {
  record->last_run = now;
  record->next_run = kNoTime;
  if (record->schedule_type == kScheduleOnce) {
    // A once task has run: a retry left from an earlier failure must not start it again at every
    // later wake-up or connection.
    ClearTaskNotifications(task_manager, record->id);
  } else if (record->schedule_type <= kScheduleMonthly) {
    record->next_run = ComputeNextRun(record->schedule_type, record->last_run, parameters, now);
    if (!RegisterTask(task_manager, *record, true)) {
      host.Log(u"task " + Ascii(std::to_string(record->id)) +
               u": its next run could not be registered");
    }
  }
}

}  // namespace

TaskOutcome RunTaskManager(std::u16string_view install_folder, std::u16string_view command_line,
                           TaskManagerHost& host) {
  if (command_line.empty()) return TaskOutcome::kNoCommandLine;
  const std::u16string database = TaskDatabasePath(install_folder);
  const std::u16string task_manager = TaskManagerPath(install_folder);
  const uint32_t id = ReadIdentifier(command_line);
  if (!platform::FileExists(database)) {
    host.ShowDatabaseNotFound();
    return TaskOutcome::kNoDatabase;
  }
  TaskRecord record = EmptyTaskRecord();
  if (FindTask(database, id, &record) != TaskLookup::kFound) return TaskOutcome::kNoSuchTask;
  ScheduleParameters parameters = ZeroScheduleParameters();
  ParseScheduleParameters(record, &parameters);
  const std::u16string id_text = Ascii(std::to_string(record.id));

  const TaskAnswer answer =
      record.ask_before_running != 0 ? host.Ask(record) : TaskAnswer{TaskChoice::kRun, 0};
  const TaskTime now = host.Now();
  TaskOutcome outcome = TaskOutcome::kRan;
  switch (answer.choice) {
    case TaskChoice::kRun: {
      // A moment that passed while the machine was off or asleep is caught up once, late.
      if (record.next_run.HasDate() &&
          IsValidDate(record.next_run.year, record.next_run.month, record.next_run.day) &&
          MinutesBetween(record.next_run, now) > 1) {
        host.Log(u"task " + id_text + u" runs late: it was due at " + MomentText(record.next_run) +
                 u", it runs at " + MomentText(now));
      }
      RecordRunAndNext(task_manager, parameters, now, &record, host);
      const std::u16string program = platform::JoinPath(install_folder, TaskProgram(record));
      bool started = false;
      if (record.kind == kTaskKindUpdate && !host.IsConnected()) {
        host.Log(u"task " + id_text + u": no network connection, the update is not started");
      } else {
        started = host.StartProgram(
            program, record.kind == kTaskKindUpdate ? kTaskCommandUpdate : kTaskCommandScan);
        if (!started) host.Log(u"task " + id_text + u": the program could not be started");
      }
      SetFieldText(record.status, kTaskStatusChars,
                   started ? kTaskStatusSuccess : kTaskStatusFailure);
      outcome = started ? TaskOutcome::kRan : TaskOutcome::kFailed;
      if (!started && record.retry_on_failure != 0) {
        RegisterTaskEvent(task_manager, record.id,
                          record.kind == kTaskKindScan ? platform::kEventWakeup
                                                       : platform::kEventNetworkConnection);
      }
      break;
    }
    case TaskChoice::kCancel:
      SetFieldText(record.status, kTaskStatusChars, kTaskStatusCancelled);
      outcome = TaskOutcome::kCancelled;
      break;
    case TaskChoice::kPostpone:
      SetFieldText(record.status, kTaskStatusChars, kTaskStatusPostponed);
      record.next_run = PostponedRun(record.next_run, now, answer.postpone_interval);
      // The postponed moment is a time registration whatever the type; an event type waits for
      // its event as well.
      if (record.schedule_type <= kScheduleOnce) {
        RegisterTask(task_manager, record, true);
      } else {
        TaskRecord at_moment = record;
        at_moment.schedule_type = kScheduleOnce;
        RegisterTask(task_manager, at_moment, true);
        RegisterTask(task_manager, record, false);
      }
      outcome = TaskOutcome::kPostponed;
      break;
    case TaskChoice::kNone:
      RecordRunAndNext(task_manager, parameters, now, &record, host);
      outcome = TaskOutcome::kNotStarted;
      break;
  }
  SerialiseScheduleParameters(parameters, &record);
  if (UpdateTask(database, record) != TaskUpdate::kWritten) {
    host.Log(u"task " + id_text + u": its record could not be written back");
    return TaskOutcome::kNotWritten;
  }
  return outcome;
}

}  // namespace kolvar
