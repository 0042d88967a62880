// The editor's start-up; see scheduler_program.h.
#include "scheduler/scheduler_program.h"

#include <memory>

#include "common/configuration.h"
#include "platform/file.h"
#include "platform/kernel_objects.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "scheduler/scheduler_ids.h"
#include "scheduling/next_run.h"
#include "scheduling/task_database.h"
#include "scheduling/task_notifications.h"
#include "ui/running_copy.h"

namespace kolvar {

SchedulerStart RunScheduler(SchedulerWindows& windows) {
  std::unique_ptr<ConfigurationFile> configuration;
  OpenConfiguration(/*keep_as_is=*/false, &configuration);
  std::u16string install_folder = InstallDirValue(configuration->store());
  if (install_folder.empty()) {
    // No usable configuration: the editor's own folder is the install folder.
    std::u16string program;
    if (platform::RunningProgramPath(&program)) {
      install_folder = program.substr(0, program.rfind(u'\\'));
    }
  }
  SchedulerContext context;
  context.task_database = TaskDatabasePath(install_folder);
  context.task_manager = TaskManagerPath(install_folder);
  context.now = [] { return CurrentTaskTime(); };
  if (!platform::FileExists(context.task_database)) {
    windows.Box(kSchedulerTitle, kSchedulerDatabaseNotFound,
                platform::kMbOk | platform::kMbIconError);
    return SchedulerStart::kNoDatabase;
  }
  platform::Mutex single;
  bool already = false;
  if (single.Create(kSchedulerMutex, false, &already) && already) {
    ui::ActivateRunningCopy(kSchedulerWindowClass);
    return SchedulerStart::kAnotherCopyRuns;
  }
  TaskListDialog main(std::move(context));
  windows.RunMain(main);
  return SchedulerStart::kRan;
}

}  // namespace kolvar
