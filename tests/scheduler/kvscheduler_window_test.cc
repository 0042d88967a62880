// KVScheduler over real processes, on a private X display (Xvfb) and driven by real key presses
// (xdotool), in each case's own device image with the installed task list and the notification
// daemon beside it: a user enables the weekly scan, and the task list and the notification table
// then hold its next run and its registration; a second start hands over to the running copy; a
// missing task list is told in its box.
//
// The keys are the user's: F1 and F2 the left and right soft keys, Enter the action key. Every
// wait is for a condition, with a generous deadline.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/notification.h"
#include "scheduling/default_tasks.h"
#include "scheduling/next_run.h"
#include "scheduling/schedule_parameters.h"
#include "scheduling/task_database.h"
#include "scheduling/task_notifications.h"
#include "tests/antivirus/x_display.h"
#include "tests/testing/test_device.h"

extern char** environ;

namespace kolvar {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kListTitle[] = "^Kolvar Scheduler$";
constexpr double kWindowSeconds = 120;

bool WaitFor(const std::function<bool()>& condition, double seconds) {
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return condition();
}

class KVSchedulerWindowTest : public testing::WithXDisplay<::testing::Test> {
 protected:
  KVSchedulerWindowTest() {
    folder_ = device_.InstallPrograms({"KVScheduler", "kvnotifyd"});
    // A copy of its own: the editor writes the task list in place.
    device_.WriteFile(TaskDatabasePath(folder_), DefaultTaskFileBytes());
  }

  ~KVSchedulerWindowTest() override {
    for (pid_t pid : started_) {
      if (waitpid(pid, nullptr, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    }
  }

  pid_t Start() {
    const std::string program = device_.Host(folder_ + u"\\KVScheduler");
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    if (pid > 0) started_.push_back(pid);
    return pid;
  }

  // The exit status once `pid` has ended; -1 when it still runs after `seconds`.
  int WaitForExit(pid_t pid, double seconds) {
    int status = 0;
    const bool ended = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds);
    if (!ended) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  TaskRecord Stored(uint32_t id) {
    TaskRecord record = EmptyTaskRecord();
    EXPECT_EQ(FindTask(TaskDatabasePath(folder_), id, &record), TaskLookup::kFound);
    return record;
  }

  testing::TestDevice device_;
  std::u16string folder_;
  std::vector<pid_t> started_;
};

TEST_F(KVSchedulerWindowTest, EnablingTheWeeklyScanWritesItsNextRunAndRegistersIt) {
  const pid_t pid = Start();
  const std::string window = display_.WaitForWindow(kListTitle, kWindowSeconds);
  ASSERT_FALSE(window.empty());
  // "Edit" on the first task; the page opens with the focus on "Activate scan task", which the
  // action key ticks; "Save".
  display_.Keys(window, {"F1"});
  ASSERT_TRUE(display_.WaitForTitle(window, "^Scan$", kWindowSeconds));
  const TaskTime before = CurrentTaskTime();
  display_.Keys(window, {"Return", "F1"});
  ASSERT_TRUE(display_.WaitForTitle(window, kListTitle, kWindowSeconds));
  const TaskTime after = CurrentTaskTime();

  const TaskRecord saved = Stored(kDefaultScanTaskId);
  EXPECT_EQ(saved.enabled, 1u);
  ScheduleParameters parameters = ZeroScheduleParameters();
  ParseScheduleParameters(saved, &parameters);
  // The next run the engine computes at the moment of the save (which lay between the two looks
  // at the clock).
  const TaskTime earliest = EditorNextRun(saved, parameters, before);
  const TaskTime latest = EditorNextRun(saved, parameters, after);
  ASSERT_TRUE(saved.next_run.HasDate());
  EXPECT_TRUE(saved.next_run == earliest || saved.next_run == latest);

  std::vector<platform::NotificationHandle> handles;
  ASSERT_TRUE(platform::ListNotifications(&handles));
  ASSERT_EQ(handles.size(), 1u);
  platform::NotificationTrigger trigger;
  ASSERT_TRUE(platform::ReadNotification(handles[0], &trigger));
  EXPECT_EQ(trigger.type, platform::kTriggerTime);
  EXPECT_EQ(trigger.application, TaskManagerPath(folder_));
  EXPECT_EQ(trigger.arguments, u"1");
  EXPECT_EQ(trigger.start.year, saved.next_run.year);
  EXPECT_EQ(trigger.start.month, saved.next_run.month);
  EXPECT_EQ(trigger.start.day, saved.next_run.day);
  EXPECT_EQ(trigger.start.hour, saved.next_run.hour);
  EXPECT_EQ(trigger.start.minute, saved.next_run.minute);

  // A second start brings the running copy forward and ends; "Close" ends the first.
  const pid_t second = Start();
  EXPECT_EQ(WaitForExit(second, kWindowSeconds), 0);
  EXPECT_EQ(display_.Windows(kListTitle).size(), 1u);
  display_.Keys(window, {"F2"});
  EXPECT_EQ(WaitForExit(pid, kWindowSeconds), 0);
}

TEST_F(KVSchedulerWindowTest, AMissingTaskListIsToldInItsBox) {
  ASSERT_EQ(std::remove(device_.Host(TaskDatabasePath(folder_)).c_str()), 0);
  const std::string log = device_.Host(u"\\Temp\\boxes.log");
  setenv("KOLVAR_MSGBOX_LOG", log.c_str(), 1);
  const pid_t pid = Start();
  unsetenv("KOLVAR_MSGBOX_LOG");
  const std::string box = display_.WaitForWindow(kListTitle, kWindowSeconds);
  ASSERT_FALSE(box.empty());
  display_.Keys(box, {"Return"});
  EXPECT_EQ(WaitForExit(pid, kWindowSeconds), 0);
  const std::string logged = device_.ReadFile(u"\\Temp\\boxes.log");
  EXPECT_NE(logged.find("\\nScheduler Database not found. Please contact support."),
            std::string::npos)
      << logged;
  EXPECT_NE(logged.find("\"caption\":\"Kolvar Scheduler\""), std::string::npos) << logged;
}

}  // namespace
}  // namespace kolvar
