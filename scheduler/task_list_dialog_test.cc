// The editor over a real task list and the real notification table of a test device: the list's
// rows, opening a task's page, saving it enabled (next run and registration) and disabled (options,
// next run and registrations cleared), the schedule page reached from the task page, and the
// program's start-up (missing task list, a second copy).
#include "scheduler/task_list_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/config_keys.h"
#include "common/configuration.h"
#include "platform/message_box.h"
#include "platform/notification.h"
#include "scheduler/schedule_page.h"
#include "scheduler/scheduler_ids.h"
#include "scheduler/scheduler_program.h"
#include "scheduler/task_page.h"
#include "scheduling/default_tasks.h"
#include "scheduling/task_database.h"
#include "scheduling/task_notifications.h"
#include "tests/testing/test_device.h"
#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

namespace ids = scheduler_ids;

// Monday 7 January 2030, 10:20.
constexpr TaskTime kNow = {2030, 1, 7, 10, 20};
constexpr char16_t kInstall[] = u"\\Program Files\\Kolvar";

struct Registration {
  uint32_t type;
  uint32_t event;
  std::u16string application;
  std::u16string arguments;
  platform::SystemTime start;
};

std::vector<Registration> Registrations() {
  std::vector<platform::NotificationHandle> handles;
  EXPECT_TRUE(platform::ListNotifications(&handles));
  std::vector<Registration> registrations;
  for (platform::NotificationHandle handle : handles) {
    platform::NotificationTrigger trigger;
    EXPECT_TRUE(platform::ReadNotification(handle, &trigger));
    registrations.push_back(
        {trigger.type, trigger.event, trigger.application, trigger.arguments, trigger.start});
  }
  return registrations;
}

class SchedulerDialogsTest : public ::testing::Test {
 protected:
  SchedulerDialogsTest() {
    device_.MakeFolder(kInstall);
    device_.WriteFile(TaskDatabasePath(kInstall), DefaultTaskFileBytes());
    context_.task_database = TaskDatabasePath(kInstall);
    context_.task_manager = TaskManagerPath(kInstall);
    context_.now = [this] { return now_; };
  }

  TaskRecord Stored(uint32_t id) {
    TaskRecord record = EmptyTaskRecord();
    EXPECT_EQ(FindTask(context_.task_database, id, &record), TaskLookup::kFound);
    return record;
  }

  testing::TestDevice device_;
  SchedulerContext context_;
  TaskTime now_ = kNow;
};

TEST_F(SchedulerDialogsTest, TheListShowsEveryTaskWithItsStatusAndStarts) {
  TaskRecord update = Stored(kDefaultUpdateTaskId);
  update.enabled = 1;
  update.retry_on_failure = 1;
  SetFieldText(update.status, kTaskStatusChars, kTaskStatusFailure);
  update.last_run = {2029, 12, 31, 9, 5};
  ASSERT_EQ(UpdateTask(context_.task_database, update), TaskUpdate::kWritten);

  ui::testing::RecordingHost host;
  TaskListDialog list(context_);
  host.Show(list);
  EXPECT_EQ(list.title(), u"Kolvar Scheduler");
  EXPECT_EQ(list.heading(), u"Configured Tasks:");
  EXPECT_EQ(list.soft_keys().left.text, u"Edit");
  EXPECT_EQ(list.soft_keys().right.text, u"Close");
  const auto& columns = list.list().columns();
  ASSERT_EQ(columns.size(), 6u);
  const char16_t* titles[] = {u"Task", u"Status", u"Last Start", u"Next Start", u"Type", u"ID"};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(columns[i].title, titles[i]);
  EXPECT_EQ(columns[0].width, 110);
  EXPECT_EQ(columns[1].width, 85);
  ASSERT_EQ(list.list().size(), 2);
  const std::vector<std::u16string> scan = {u"Weekly scan", u"Disabled", u"not executed yet",
                                            u"not available", u"S", u"1"};
  EXPECT_EQ(list.list().row(0).cells, scan);
  EXPECT_EQ(list.list().row(0).icon, kTaskIcon);
  // A failed task that retries waits for the network.
  const std::vector<std::u16string> failed = {u"Daily update", u"Failure", u"31/12/2029 09:05",
                                              u"on connected", u"U", u"2"};
  EXPECT_EQ(list.list().row(1).cells, failed);
  EXPECT_EQ(list.list().selected(), 0);
  EXPECT_EQ(list.last_start(), u"not executed yet");
  list.list().Select(1);
  EXPECT_EQ(list.last_start(), u"31/12/2029 09:05");
  EXPECT_EQ(list.next_start(), u"on connected");
  list.OnCommand(ids::kCommandClose);
  EXPECT_TRUE(list.ended());
}

TEST_F(SchedulerDialogsTest, EnablingATaskComputesItsNextRunAndRegistersIt) {
  ui::testing::RecordingHost host;
  TaskListDialog list(context_);
  host.Show(list);
  std::vector<std::u16string> titles;
  host.DriveModals([&](ui::Dialog& dialog) {
    titles.push_back(dialog.title());
    auto& page = dynamic_cast<TaskPageDialog&>(dialog);
    EXPECT_EQ(page.activate_text(), u"Activate scan task");
    EXPECT_EQ(page.retry_heading(), u"If missed:");
    EXPECT_EQ(page.retry_text(), u"Start when device starts up");
    EXPECT_FALSE(page.enabled());
    EXPECT_FALSE(page.IsControlEnabled(ids::kName));
    EXPECT_FALSE(page.IsControlEnabled(ids::kTypeList));
    EXPECT_FALSE(page.IsControlEnabled(ids::kEditSchedule));
    EXPECT_FALSE(page.IsControlEnabled(ids::kDescription));
    EXPECT_FALSE(page.IsControlEnabled(ids::kRetry));
    EXPECT_EQ(page.description(), u"Execute at 12:00 on Mon, every 1 week(s)");
    page.OnCommand(ids::kActivate);
    EXPECT_TRUE(page.IsControlEnabled(ids::kName));
    EXPECT_TRUE(page.IsControlEnabled(ids::kEditSchedule));
    page.SetName(u"Monday scan");
    page.OnCommand(ids::kCommandSave);
  });
  list.OnRowActivated(ids::kTaskList, 0);
  EXPECT_EQ(titles, (std::vector<std::u16string>{u"Scan"}));

  // Monday 10:20, weekly on Mondays at 12:00: today at noon.
  const TaskRecord saved = Stored(kDefaultScanTaskId);
  EXPECT_EQ(saved.enabled, 1u);
  EXPECT_EQ(TaskName(saved), u"Monday scan");
  EXPECT_EQ(saved.next_run, (TaskTime{2030, 1, 7, 12, 0}));
  EXPECT_EQ(TaskParameterText(saved), u"12|0|1|1|0|0|0|0|0|0|");
  const auto registrations = Registrations();
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_EQ(registrations[0].type, platform::kTriggerTime);
  EXPECT_EQ(registrations[0].application, context_.task_manager);
  EXPECT_EQ(registrations[0].arguments, u"1");
  EXPECT_EQ(registrations[0].start.year, 2030);
  EXPECT_EQ(registrations[0].start.day, 7);
  EXPECT_EQ(registrations[0].start.hour, 12);
  // The row shows the task as saved.
  EXPECT_EQ(list.list().Cell(0, task_columns::kTask), u"Monday scan");
  EXPECT_EQ(list.list().Cell(0, task_columns::kStatus), u"Pending");
  EXPECT_EQ(list.list().Cell(0, task_columns::kNextStart), u"07/01/2030 12:00");
  EXPECT_EQ(list.next_start(), u"07/01/2030 12:00");
}

TEST_F(SchedulerDialogsTest, TheSchedulePageChangesTheTypeAndCancelLeavesIt) {
  ui::testing::RecordingHost host;
  TaskRecord record = Stored(kDefaultUpdateTaskId);
  TaskPageDialog page(record, context_);
  host.Show(page);
  EXPECT_EQ(page.title(), u"Update");
  EXPECT_EQ(page.activate_text(), u"Activate update task");
  EXPECT_EQ(page.retry_heading(), u"If connection is not available:");
  EXPECT_EQ(page.retry_text(), u"Check when it goes online");
  page.OnCommand(ids::kActivate);
  // The list takes a type at once, with the parameters the page holds (today's defaults).
  page.SelectType(kScheduleMonthly);
  EXPECT_EQ(page.type(), kScheduleMonthly);
  EXPECT_EQ(page.description(),
            u"Execute at 10:20 on day 7 of Jan, Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, Oct, Nov, "
            u"Dec. ");
  page.SelectType(kScheduleAtStartup);
  EXPECT_FALSE(page.IsControlEnabled(ids::kEditSchedule)) << "no page for start-up";
  page.SelectType(kScheduleDaily);
  EXPECT_EQ(page.description(), u"Execute at 10:00 every 1 day(s)");

  host.DriveModals([](ui::Dialog& dialog) {
    auto& schedule = dynamic_cast<SchedulePageDialog&>(dialog);
    schedule.SetTime(6, 30);
    schedule.SetEveryText(u"2");
    schedule.OnCommand(ids::kCommandCancelSchedule);
  });
  page.OnCommand(ids::kEditSchedule);
  EXPECT_EQ(page.type(), kScheduleDaily);
  EXPECT_EQ(page.description(), u"Execute at 10:00 every 1 day(s)");

  host.DriveModals([](ui::Dialog& dialog) {
    auto& schedule = dynamic_cast<SchedulePageDialog&>(dialog);
    EXPECT_EQ(schedule.title(), u"Daily");
    schedule.SetTime(6, 30);
    schedule.SetEveryText(u"2");
    schedule.OnCommand(ids::kCommandConfirm);
  });
  page.OnCommand(ids::kEditSchedule);
  EXPECT_EQ(page.description(), u"Execute at 06:30 every 2 day(s)");
  EXPECT_EQ(host.modal_titles(), (std::vector<std::u16string>{u"Daily", u"Daily"}));

  // Cancel writes nothing.
  page.OnCommand(ids::kCommandCancel);
  EXPECT_TRUE(page.ended());
  EXPECT_FALSE(page.saved());
  EXPECT_EQ(TaskParameterText(Stored(kDefaultUpdateTaskId)), TaskParameterText(record));
  EXPECT_TRUE(Registrations().empty());
}

TEST_F(SchedulerDialogsTest, DisablingClearsOptionsNextRunAndRegistrations) {
  // The update task enabled on connection, retrying, not asking.
  {
    ui::testing::RecordingHost host;
    TaskPageDialog page(Stored(kDefaultUpdateTaskId), context_);
    host.Show(page);
    page.OnCommand(ids::kActivate);
    page.SelectType(kScheduleOnConnection);
    if (!page.retry()) page.OnCommand(ids::kRetry);
    if (!page.dont_ask()) page.OnCommand(ids::kDontAsk);
    page.OnCommand(ids::kCommandSave);
    ASSERT_TRUE(page.saved());
    EXPECT_EQ(page.save_result().update, TaskUpdate::kWritten);
    EXPECT_TRUE(page.save_result().registered);
  }
  TaskRecord enabled = Stored(kDefaultUpdateTaskId);
  EXPECT_EQ(enabled.schedule_type, kScheduleOnConnection);
  EXPECT_EQ(enabled.ask_before_running, 0u);
  EXPECT_EQ(enabled.retry_on_failure, 1u);
  auto registrations = Registrations();
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_EQ(registrations[0].type, platform::kTriggerEvent);
  EXPECT_EQ(registrations[0].event, platform::kEventNetworkConnection);
  EXPECT_EQ(registrations[0].arguments, u"2");

  // A daily time for it, then disabled.
  enabled.schedule_type = kScheduleDaily;
  enabled.next_run = {2030, 1, 8, 10, 0};
  enabled.in_background = 1;
  ASSERT_EQ(UpdateTask(context_.task_database, enabled), TaskUpdate::kWritten);
  {
    ui::testing::RecordingHost host;
    TaskPageDialog page(Stored(kDefaultUpdateTaskId), context_);
    host.Show(page);
    EXPECT_TRUE(page.enabled());
    page.OnCommand(ids::kActivate);
    EXPECT_FALSE(page.IsControlEnabled(ids::kRetry));
    page.OnCommand(ids::kCommandSave);
  }
  const TaskRecord disabled = Stored(kDefaultUpdateTaskId);
  EXPECT_EQ(disabled.enabled, 0u);
  EXPECT_EQ(disabled.in_background, 0u);
  EXPECT_EQ(disabled.ask_before_running, 0u);
  EXPECT_EQ(disabled.retry_on_failure, 0u);
  EXPECT_EQ(disabled.next_run, (TaskTime{0, 0, 0, 0, 0}));
  EXPECT_TRUE(Registrations().empty());

  // Enabled again, it starts from the cleared options.
  ui::testing::RecordingHost host;
  TaskPageDialog page(disabled, context_);
  host.Show(page);
  EXPECT_TRUE(page.dont_ask());
  EXPECT_FALSE(page.retry());
  EXPECT_FALSE(page.background());
}

TEST_F(SchedulerDialogsTest, AOnceTaskInThePastIsSavedAndRegisteredAtItsMoment) {
  TaskRecord record = Stored(kDefaultScanTaskId);
  record.schedule_type = kScheduleOnce;
  SetFieldText(record.parameters, kTaskTextChars, u"7|5|1|3|2020");
  ASSERT_EQ(UpdateTask(context_.task_database, record), TaskUpdate::kWritten);
  ui::testing::RecordingHost host;
  TaskPageDialog page(Stored(kDefaultScanTaskId), context_);
  host.Show(page);
  EXPECT_EQ(page.description(), u"Execute at 07:05 of 01/03/2020");
  page.OnCommand(ids::kActivate);
  page.OnCommand(ids::kCommandSave);
  EXPECT_EQ(Stored(kDefaultScanTaskId).next_run, (TaskTime{2020, 3, 1, 7, 5}));
  const auto registrations = Registrations();
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_EQ(registrations[0].start.year, 2020);
  EXPECT_EQ(registrations[0].start.month, 3);
}

TEST_F(SchedulerDialogsTest, ALongNameIsCutToTheRecordsField) {
  ui::testing::RecordingHost host;
  TaskPageDialog page(Stored(kDefaultScanTaskId), context_);
  host.Show(page);
  page.SetName(std::u16string(300, u'n'));
  EXPECT_EQ(page.name().size(), kTaskTextChars - 1);
  page.OnCommand(ids::kCommandSave);
  EXPECT_EQ(TaskName(Stored(kDefaultScanTaskId)), std::u16string(kTaskTextChars - 1, u'n'));
}

TEST_F(SchedulerDialogsTest, ATaskGoneFromTheFileIsReported) {
  ui::testing::RecordingHost host;
  TaskListDialog list(context_);
  host.Show(list);
  // The file replaced behind the editor's back by one without the first task.
  device_.WriteFile(TaskDatabasePath(kInstall), DefaultTaskFileBytes().substr(sizeof(TaskRecord)));
  list.OnCommand(ids::kCommandEdit);
  ASSERT_EQ(host.boxes().size(), 1u);
  EXPECT_EQ(host.boxes()[0].caption, kErrorSearchingTask);
  EXPECT_EQ(host.boxes()[0].text, kErrorSearchingTask);
  EXPECT_EQ(host.boxes()[0].style, platform::kMbOk | platform::kMbIconError);
  EXPECT_TRUE(host.modal_titles().empty());
}

class RecordingWindows : public SchedulerWindows {
 public:
  int Box(std::u16string_view caption, std::u16string_view text, uint32_t style) override {
    boxes.push_back({std::u16string(caption), std::u16string(text), style});
    return platform::kIdOk;
  }
  void RunMain(TaskListDialog& main) override {
    host.Show(main);
    rows = main.list().size();
    if (while_running) while_running();
  }
  ui::testing::RecordingHost host;
  std::vector<ui::MessageBoxRequest> boxes;
  int rows = 0;
  std::function<void()> while_running;
};

TEST_F(SchedulerDialogsTest, StartUpFindsTheTaskListAndAllowsOneCopy) {
  // The configuration names the install folder.
  {
    std::unique_ptr<ConfigurationFile> configuration;
    OpenConfiguration(false, &configuration);
    const std::u16string folder = std::u16string(kInstall) + u"\\";
    ASSERT_TRUE(configuration->store().SetValue(config_keys::kInstallDir, 1,
                                                static_cast<uint32_t>(folder.size() * 2),
                                                folder.data(), config_keys::kBasic));
    ASSERT_TRUE(configuration->Save());
  }
  RecordingWindows windows;
  SchedulerStart second = SchedulerStart::kRan;
  windows.while_running = [&] {
    RecordingWindows other;
    second = RunScheduler(other);
    EXPECT_TRUE(other.boxes.empty());
  };
  EXPECT_EQ(RunScheduler(windows), SchedulerStart::kRan);
  EXPECT_EQ(windows.rows, 2);
  EXPECT_EQ(second, SchedulerStart::kAnotherCopyRuns);
  EXPECT_TRUE(windows.boxes.empty());

  device_.KillDeviceProcesses();
  ASSERT_EQ(std::remove(device_.Host(TaskDatabasePath(kInstall)).c_str()), 0);
  RecordingWindows missing;
  EXPECT_EQ(RunScheduler(missing), SchedulerStart::kNoDatabase);
  ASSERT_EQ(missing.boxes.size(), 1u);
  EXPECT_EQ(missing.boxes[0].caption, u"Kolvar Scheduler");
  EXPECT_EQ(missing.boxes[0].text, u"\nScheduler Database not found. Please contact support.");
  EXPECT_EQ(missing.boxes[0].style, platform::kMbOk | platform::kMbIconError);
  EXPECT_EQ(missing.rows, 0);
}

}  // namespace
}  // namespace kolvar
