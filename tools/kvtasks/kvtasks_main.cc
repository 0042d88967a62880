// kvtasks: the scheduled tasks of KVTasks.dat for people and scripts. It lists the records, tells
// the next run that the scheduling engine computes for one of them at a given moment (writing
// nothing), changes the fields the scheduler editor lets people change (saving as the editor does,
// so enabling a task computes its next run), and writes the task list that the suite installs.
// Exit code 0 on success, 1 with a message on standard error otherwise.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scheduling/default_tasks.h"
#include "scheduling/next_run.h"
#include "scheduling/task_database.h"
#include "scheduling/task_editing.h"
#include "scheduling/task_notifications.h"
#include "tools/kvtasks/task_text.h"

namespace kolvar::kvtasks {
namespace {

constexpr char kUsage[] =
    "usage: kvtasks list [FILE]                    every task, one line each, tab-separated\n"
    "       kvtasks next FILE ID [--now MOMENT]    the next run computed for task ID at MOMENT\n"
    "                                              (default: now), or \"unset\"; writes nothing\n"
    "       kvtasks set FILE ID FIELD VALUE [--now MOMENT]\n"
    "                                              changes one field and saves the task as the\n"
    "                                              scheduler does: an enabled task gets its next\n"
    "                                              run and its registration (kvnotify list)\n"
    "       kvtasks init FILE                      writes the task list the suite installs\n"
    "FILE    a host path of a task list; for list, default: KVTasks.dat beside kvtasks\n"
    "MOMENT  YYYY-MM-DDTHH:MM, local time\n"
    "FIELD   name TEXT | enabled 0/1 | ask 0/1 | retry 0/1 | background 0/1\n"
    "        | type daily, weekly, monthly, once, startup, connected, idle (or 0 to 6)\n"
    "        | parameters TEXT (numbers and bars in the type's order, e.g. \"9|0|1\" for daily)\n"
    "Moments print as YYYY-MM-DD HH:MM.\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "kvtasks: %s\n%s", problem.c_str(), kUsage);
  return 1;
}

int Failure(const std::string& what, uint32_t error) {
  std::fprintf(stderr, "kvtasks: %s: %s\n", what.c_str(),
               std::string(platform::ErrorMeaning(error)).c_str());
  return 1;
}

// A text field for one cell: control characters and tabs shown as "?".
std::string Cell(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit < 0x20 || unit == 0x7F) unit = u'?';
  }
  return platform::ShownDeviceText(text);
}

bool DevicePath(const std::string& host, std::u16string* path) {
  if (platform::DevicePathFromHost(host, path)) return true;
  std::fprintf(stderr, "kvtasks: %s: not a path below the device root\n", host.c_str());
  return false;
}

// Finds the record; false with the message printed.
bool Load(const std::string& host, const std::u16string& path, uint32_t id, TaskRecord* record) {
  switch (FindTask(path, id, record)) {
    case TaskLookup::kFound:
      return true;
    case TaskLookup::kNotFound:
      std::fprintf(stderr, "kvtasks: %s: no task has the identifier %u\n", host.c_str(), id);
      return false;
    case TaskLookup::kUnreadable:
      Failure(host, platform::GetLastError());
      return false;
  }
  return false;
}

// Takes "--now MOMENT" out of the arguments.
bool TakeNow(std::vector<std::string>* args, TaskTime* now) {
  *now = CurrentTaskTime();
  for (size_t i = 0; i < args->size(); ++i) {
    if ((*args)[i] != "--now") continue;
    if (i + 1 >= args->size() || !ParseMoment((*args)[i + 1], now)) {
      std::fprintf(stderr, "kvtasks: --now takes a moment as YYYY-MM-DDTHH:MM\n");
      return false;
    }
    args->erase(args->begin() + static_cast<long>(i), args->begin() + static_cast<long>(i) + 2);
    return true;
  }
  return true;
}

int List(const std::vector<std::string>& args) {
  if (args.size() > 1) return Usage("list takes at most one FILE");
  std::u16string path;
  std::string shown;
  if (args.empty()) {
    std::u16string program;
    if (!platform::RunningProgramPath(&program)) {
      return Usage("kvtasks does not lie below the device root: name the FILE");
    }
    path = TaskDatabasePath(program.substr(0, program.rfind(u'\\')));
    shown = platform::ShownPath(path);
  } else {
    shown = args[0];
    if (!DevicePath(args[0], &path)) return 1;
  }
  std::vector<TaskRecord> tasks;
  if (!ReadAllTasks(path, &tasks)) return Failure(shown, platform::GetLastError());
  std::printf("id\tkind\tname\tenabled\ttype\tparameters\tstatus\tlast run\tnext run\n");
  for (const TaskRecord& task : tasks) {
    std::printf("%u\t%s\t%s\t%u\t%s\t%s\t%s\t%s\t%s\n", task.id,
                Cell(std::u16string(1, task.kind)).c_str(), Cell(TaskName(task)).c_str(),
                task.enabled, ScheduleTypeName(task.schedule_type).c_str(),
                Cell(TaskParameterText(task)).c_str(), Cell(TaskStatus(task)).c_str(),
                MomentText(task.last_run).c_str(), MomentText(task.next_run).c_str());
  }
  return 0;
}

int Next(std::vector<std::string> args) {
  TaskTime now;
  if (!TakeNow(&args, &now)) return 1;
  if (args.size() != 2) return Usage("next takes FILE and ID");
  uint32_t id = 0;
  if (!ParseTaskId(args[1], &id)) return Usage("ID is a decimal task identifier");
  std::u16string path;
  TaskRecord task = EmptyTaskRecord();
  if (!DevicePath(args[0], &path) || !Load(args[0], path, id, &task)) return 1;
  ScheduleParameters parameters = ZeroScheduleParameters();
  ParseScheduleParameters(task, &parameters);
  const TaskTime next =
      task.schedule_type <= kScheduleOnce ? EditorNextRun(task, parameters, now) : kNoTime;
  std::printf("%s\n", MomentText(next).c_str());
  return 0;
}

// Numbers, signs and bars only, as the editor writes them.
bool IsParameterText(std::string_view text) {
  if (text.size() >= kTaskTextChars) return false;
  for (char c : text) {
    if (!(c >= '0' && c <= '9') && c != '|' && c != '-') return false;
  }
  return true;
}

int Set(std::vector<std::string> args) {
  TaskTime now;
  if (!TakeNow(&args, &now)) return 1;
  if (args.size() != 4) return Usage("set takes FILE, ID, FIELD and VALUE");
  uint32_t id = 0;
  if (!ParseTaskId(args[1], &id)) return Usage("ID is a decimal task identifier");
  const std::string& field = args[2];
  const std::string& value = args[3];
  std::u16string path;
  TaskRecord task = EmptyTaskRecord();
  if (!DevicePath(args[0], &path) || !Load(args[0], path, id, &task)) return 1;
  ScheduleParameters parameters = ZeroScheduleParameters();
  ParseScheduleParameters(task, &parameters);
  const bool was_enabled = task.enabled != 0;
  uint32_t number = 0;
  if (field == "name") {
    std::u16string name;
    if (!platform::Utf8ToUtf16(value, &name)) return Usage("the name is not valid UTF-8");
    if (!SetFieldText(task.name, kTaskTextChars, name)) {
      return Usage("a name has at most 259 characters");
    }
  } else if (field == "enabled" || field == "ask" || field == "retry" || field == "background") {
    if (!ParseFlag(value, &number)) return Usage(field + " is 0 or 1");
    if (field == "enabled") task.enabled = number;
    if (field == "ask") task.ask_before_running = number;
    if (field == "retry") task.retry_on_failure = number;
    if (field == "background") task.in_background = number;
  } else if (field == "type") {
    if (!ParseScheduleType(value, &number)) return Usage("unknown schedule type '" + value + "'");
    task.schedule_type = number;
    SerialiseScheduleParameters(parameters, &task);
  } else if (field == "parameters") {
    if (!IsParameterText(value)) {
      return Usage("parameters are numbers joined by \"|\", at most 259 characters");
    }
    std::u16string text(value.begin(), value.end());
    ParseScheduleParameters(task.schedule_type, text, &parameters);
    SerialiseScheduleParameters(parameters, &task);
  } else {
    return Usage("unknown field '" + field + "'");
  }
  // An enabled task, and one being disabled, is saved as the editor saves it; a change to a
  // disabled task is kept as it is, so that its options can be prepared before enabling it.
  TaskSave save;
  save.registered = true;
  if (task.enabled != 0 || was_enabled) {
    save = SaveEditedTask(path, TaskManagerPath(InstallFolderOf(path)), parameters, now, &task);
  } else {
    save.update = UpdateTask(path, task);
  }
  const uint32_t error = platform::GetLastError();
  switch (save.update) {
    case TaskUpdate::kWritten:
      if (!save.registered) {
        std::fprintf(stderr, "kvtasks: task %u was saved but not registered: %s\n", id,
                     std::string(platform::ErrorMeaning(error)).c_str());
        return 1;
      }
      return 0;
    case TaskUpdate::kNotFound:
      std::fprintf(stderr, "kvtasks: %s: task %u disappeared from the file\n", args[0].c_str(), id);
      return 1;
    case TaskUpdate::kFailed:
      break;
  }
  return Failure(args[0], platform::GetLastError());
}

int Init(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage("init takes FILE");
  std::u16string path;
  if (!DevicePath(args[0], &path)) return 1;
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kWrite, platform::CreateDisposition::kCreateNew)) {
    return Failure(args[0], platform::GetLastError());
  }
  const std::string bytes = DefaultTaskFileBytes();
  uint32_t written = 0;
  if (!file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written) || !file.Flush()) {
    const uint32_t error = platform::GetLastError();
    file.Close();
    platform::DeleteFile(path);
    return Failure(args[0], error);
  }
  return 0;
}

}  // namespace
}  // namespace kolvar::kvtasks

int main(int argc, char** argv) {
  using namespace kolvar::kvtasks;
  if (argc < 2) return Usage("no command");
  const std::string_view command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  int result;
  if (command == "list") {
    result = List(args);
  } else if (command == "next") {
    result = Next(args);
  } else if (command == "set") {
    result = Set(args);
  } else if (command == "init") {
    result = Init(args);
  } else if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  } else {
    return Usage("unknown command '" + std::string(command) + "'");
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "kvtasks: cannot write the output\n");
    return 1;
  }
  return result;
}
