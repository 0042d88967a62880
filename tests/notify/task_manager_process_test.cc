// Scheduled tasks end to end over real processes: kvtasks enables a task (starting the
// dispatcher on demand), the dispatcher starts KVTaskMgr with the task's identifier at its moment,
// and KVTaskMgr starts the main program's stand-in, writes the outcome and the next run, and
// registers again; an update while offline fails and runs when the network comes.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel_objects.h"
#include "platform/notification.h"
#include "platform/process.h"
#include "scheduling/default_tasks.h"
#include "scheduling/task_database.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

constexpr char16_t kTasks[] = u"\\Program Files\\Kolvar\\KVTasks.dat";
constexpr auto kDeadline = std::chrono::seconds(90);

bool WaitFor(const std::function<bool()>& condition) {
  const auto end = std::chrono::steady_clock::now() + kDeadline;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return condition();
}

tm LocalIn(int seconds) {
  const time_t moment = time(nullptr) + seconds;
  tm local{};
  localtime_r(&moment, &local);
  return local;
}

TaskRecord Task(uint32_t id, char16_t kind, std::u16string_view parameters) {
  TaskRecord record = EmptyTaskRecord();
  record.id = id;
  SetFieldText(record.name, kTaskTextChars, u"task");
  SetFieldText(record.program, kTaskTextChars, u"notify_recorder");  // the main program's stand-in
  record.kind = kind;
  record.retry_on_failure = 1;
  record.schedule_type = kScheduleOnce;
  SetFieldText(record.parameters, kTaskTextChars, parameters);
  return record;
}

class TaskManagerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_.InstallPrograms({"kvnotifyd", "notify_recorder", "KVTaskMgr", "kvtasks"});
    setenv("KOLVAR_NOTIFY_RECORD", device_.Host(u"\\Temp\\started.txt").c_str(), 1);
    setenv("KOLVAR_NETWORK_STATE_FILE", device_.Host(u"\\Temp\\network").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KOLVAR_NOTIFY_RECORD");
    unsetenv("KOLVAR_NETWORK_STATE_FILE");
  }

  std::string Started() const {
    return device_.Exists(u"\\Temp\\started.txt") ? device_.ReadFile(u"\\Temp\\started.txt")
                                                  : std::string();
  }
  TaskRecord Read(uint32_t id) {
    TaskRecord record = EmptyTaskRecord();
    EXPECT_EQ(FindTask(kTasks, id, &record), TaskLookup::kFound);
    return record;
  }
  // Runs the installed kvtasks, so that the dispatcher it needs starts beside it.
  int Kvtasks(const std::string& arguments) {
    const std::string command =
        "'" + device_.Host(u"\\Program Files\\Kolvar\\kvtasks") + "' " + arguments;
    const int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::vector<platform::NotificationTrigger> Registrations() {
    std::vector<platform::NotificationHandle> handles;
    EXPECT_TRUE(platform::ListNotifications(&handles));
    std::vector<platform::NotificationTrigger> triggers;
    for (auto handle : handles) {
      platform::NotificationTrigger trigger;
      if (platform::ReadNotification(handle, &trigger)) triggers.push_back(trigger);
    }
    return triggers;
  }

  testing::TestDevice device_;
};

TEST_F(TaskManagerProcessTest, ARegistrationAFewSecondsAheadRunsTheTaskAndRegistersItsNextRun) {
  // A daily scan at this very minute: when the task manager runs it, an equal time is not later,
  // so its next run is tomorrow (or later today, should the minute pass first: never earlier).
  const tm now = LocalIn(0);
  char daily[32];
  std::snprintf(daily, sizeof daily, "%d|%d|1", now.tm_hour, now.tm_min);
  TaskRecord record = Task(1, kTaskKindScan, std::u16string(daily, daily + strlen(daily)));
  record.schedule_type = kScheduleDaily;
  record.enabled = 1;
  device_.WriteFile(kTasks, std::string(reinterpret_cast<const char*>(&record), sizeof record));
  platform::NotificationTrigger trigger;
  trigger.type = platform::kTriggerTime;
  trigger.application = u"\\Program Files\\Kolvar\\KVTaskMgr";
  trigger.arguments = u"1";
  const tm soon = LocalIn(3);
  trigger.start = platform::SystemTime{static_cast<uint16_t>(soon.tm_year + 1900),
                                       static_cast<uint16_t>(soon.tm_mon + 1),
                                       0,
                                       static_cast<uint16_t>(soon.tm_mday),
                                       static_cast<uint16_t>(soon.tm_hour),
                                       static_cast<uint16_t>(soon.tm_min),
                                       static_cast<uint16_t>(soon.tm_sec),
                                       0};
  platform::NotificationHandle handle = 0;
  ASSERT_TRUE(platform::SetNotification(trigger, &handle));
  platform::Process dispatcher;
  ASSERT_TRUE(platform::Process::Start(u"\\Program Files\\Kolvar\\kvnotifyd", u"",
                                       platform::StartOptions{.detached = true}, &dispatcher));
  ASSERT_TRUE(WaitFor([&] { return Started() == "DOSCAN\n"; })) << Started();
  ASSERT_TRUE(WaitFor([&] { return TaskStatus(Read(1)) == u"Success"; }));
  const TaskRecord after = Read(1);
  ASSERT_TRUE(after.last_run.HasDate());
  EXPECT_EQ(after.next_run.hour, now.tm_hour);
  EXPECT_EQ(after.next_run.minute, now.tm_min);
  EXPECT_TRUE(after.next_run.day != now.tm_mday || after.last_run.minute != now.tm_min)
      << "not again at once";
  ASSERT_TRUE(WaitFor([&] { return Registrations().size() == 1; }));
  const auto triggers = Registrations();
  EXPECT_EQ(triggers[0].arguments, u"1");
  EXPECT_EQ(triggers[0].type, platform::kTriggerTime);
  EXPECT_EQ(triggers[0].start.day, after.next_run.day);
  EXPECT_EQ(triggers[0].start.minute, after.next_run.minute);
  EXPECT_EQ(Started(), "DOSCAN\n");
}

TEST_F(TaskManagerProcessTest, AnUpdateWhileOfflineFailsAndRunsWhenTheNetworkComes) {
  device_.WriteFile(u"\\Temp\\network", "0");
  const tm now = LocalIn(0);
  char once[64];
  std::snprintf(once, sizeof once, "%d|%d|%d|%d|%d", now.tm_hour, now.tm_min, now.tm_mday,
                now.tm_mon + 1, now.tm_year + 1900);
  TaskRecord record = Task(2, kTaskKindUpdate, std::u16string(once, once + strlen(once)));
  device_.WriteFile(kTasks, std::string(reinterpret_cast<const char*>(&record), sizeof record));
  // Enabling a once task registers its moment, this very minute: it fires at once.
  ASSERT_EQ(Kvtasks("set '" + device_.Host(kTasks) + "' 2 enabled 1"), 0);
  EXPECT_TRUE(WaitFor([] { return platform::ObjectExists(u"@_KVNOTIFYD_@"); }))
      << "the dispatcher started on demand";
  EXPECT_TRUE(device_.Exists(u"\\Windows\\StartUp\\kolvar-kvnotifyd.desktop"));
  ASSERT_TRUE(WaitFor([&] { return TaskStatus(Read(2)) == u"Failure"; }));
  EXPECT_EQ(Started(), "");
  ASSERT_TRUE(WaitFor([&] {
    const auto triggers = Registrations();
    return triggers.size() == 1 && triggers[0].type == platform::kTriggerEvent &&
           triggers[0].event == platform::kEventNetworkConnection;
  }));
  device_.WriteFile(u"\\Temp\\network", "1");
  ASSERT_TRUE(WaitFor([&] { return Started() == "DOUPDATE\n"; })) << Started();
  ASSERT_TRUE(WaitFor([&] { return TaskStatus(Read(2)) == u"Success"; }));
}

// Without a FILE, kvtasks lists the task list beside itself, the install folder's.
TEST_F(TaskManagerProcessTest, KvtasksListsTheTaskListOfItsInstallFolder) {
  device_.WriteFile(kTasks, DefaultTaskFileBytes());
  const std::string command = "'" + device_.Host(u"\\Program Files\\Kolvar\\kvtasks") + "' list";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_NE(out.find("1\tS\tWeekly scan\t0\tweekly"), std::string::npos) << out;
  EXPECT_NE(out.find("2\tU\tDaily update\t0\tdaily"), std::string::npos) << out;
}

// A registering program that starts the dispatcher ends its output when it ends: a script that
// reads it to the end does not wait for the dispatcher.
TEST_F(TaskManagerProcessTest, ReadingARegisteringProgramsOutputEndsWithTheProgram) {
  device_.WriteFile(kTasks, DefaultTaskFileBytes());
  const std::string command = "'" + device_.Host(u"\\Program Files\\Kolvar\\kvtasks") + "' set '" +
                              device_.Host(kTasks) + "' 1 enabled 1 && echo saved";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  bool ended = false;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd ready{fileno(pipe), POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t n = read(fileno(pipe), buffer, sizeof buffer);
    if (n <= 0) {
      ended = true;
      break;
    }
    out.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_TRUE(ended) << "the output stayed open after kvtasks ended";
  EXPECT_EQ(out, "saved\n");
  EXPECT_TRUE(WaitFor([] { return platform::ObjectExists(u"@_KVNOTIFYD_@"); }));
  // The dispatcher was started with a pipe of its own: end it before pclose waits for the shell.
  device_.KillDeviceProcesses();
  pclose(pipe);
}

}  // namespace
}  // namespace kolvar
