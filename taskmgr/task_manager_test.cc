// Every choice of the task manager on a real task list and registration table, with the clock,
// the network, the program start and the user's answer faked.
#include "taskmgr/task_manager.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/notification.h"
#include "scheduling/next_run.h"
#include "scheduling/schedule_parameters.h"
#include "scheduling/task_database.h"
#include "tests/testing/test_device.h"

namespace kolvar {

void PrintTo(const TaskTime& t, std::ostream* out) {
  *out << t.year << "-" << t.month << "-" << t.day << " " << t.hour << ":" << t.minute;
}

namespace {

constexpr char16_t kFolder[] = u"\\Program Files\\Kolvar";
constexpr char16_t kTasks[] = u"\\Program Files\\Kolvar\\KVTasks.dat";

class FakeHost : public TaskManagerHost {
 public:
  TaskTime Now() override { return now; }
  bool IsConnected() override { return connected; }
  bool StartProgram(std::u16string_view path, std::u16string_view command_line) override {
    started.push_back(std::u16string(path) + u" " + std::u16string(command_line));
    return can_start;
  }
  TaskAnswer Ask(const TaskRecord&) override {
    ++asked;
    return answer;
  }
  void ShowDatabaseNotFound() override { ++not_found_boxes; }
  void Log(std::u16string_view text) override { logged.emplace_back(text); }

  TaskTime now = {2026, 3, 10, 9, 0};  // a Tuesday
  bool connected = true;
  bool can_start = true;
  TaskAnswer answer;
  int asked = 0;
  int not_found_boxes = 0;
  std::vector<std::u16string> started;
  std::vector<std::u16string> logged;
};

TaskRecord Task(uint32_t id, char16_t kind, uint32_t type, std::u16string_view parameters) {
  TaskRecord record = EmptyTaskRecord();
  record.id = id;
  SetFieldText(record.name, kTaskTextChars, u"task");
  SetFieldText(record.program, kTaskTextChars, u"KVAntivirus");
  record.kind = kind;
  record.enabled = 1;
  record.retry_on_failure = 1;
  record.schedule_type = type;
  SetFieldText(record.parameters, kTaskTextChars, parameters);
  return record;
}

class TaskManagerTest : public ::testing::Test {
 protected:
  void Install(const std::vector<TaskRecord>& records) {
    device_.MakeFolder(kFolder);
    device_.WriteFile(kTasks, std::string(reinterpret_cast<const char*>(records.data()),
                                          records.size() * sizeof(TaskRecord)));
  }
  TaskRecord Read(uint32_t id) {
    TaskRecord record = EmptyTaskRecord();
    EXPECT_EQ(FindTask(kTasks, id, &record), TaskLookup::kFound);
    return record;
  }
  // The registrations as "arguments@YYYY-MM-DD HH:MM:SS" or "arguments@event N".
  std::vector<std::string> Registrations() {
    std::vector<platform::NotificationHandle> handles;
    EXPECT_TRUE(platform::ListNotifications(&handles));
    std::vector<std::string> shown;
    for (auto handle : handles) {
      platform::NotificationTrigger t;
      EXPECT_TRUE(platform::ReadNotification(handle, &t));
      EXPECT_EQ(t.application, u"\\Program Files\\Kolvar\\KVTaskMgr");
      char text[64];
      std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.start.year, t.start.month,
                    t.start.day, t.start.hour, t.start.minute, t.start.second);
      shown.push_back(std::string(t.arguments.begin(), t.arguments.end()) + "@" +
                      (t.type == platform::kTriggerTime ? std::string(text)
                                                        : "event " + std::to_string(t.event)));
    }
    return shown;
  }

  testing::TestDevice device_;
  FakeHost host_;
};

TEST_F(TaskManagerTest, RunStartsTheScanWritesSuccessAndRegistersTheNextRun) {
  Install({Task(1, kTaskKindScan, kScheduleDaily, u"9|0|1")});
  EXPECT_EQ(RunTaskManager(kFolder, u"1", host_), TaskOutcome::kRan);
  EXPECT_EQ(host_.started,
            std::vector<std::u16string>{u"\\Program Files\\Kolvar\\KVAntivirus DOSCAN"});
  const TaskRecord record = Read(1);
  EXPECT_EQ(TaskStatus(record), u"Success");
  EXPECT_EQ(record.last_run, (TaskTime{2026, 3, 10, 9, 0}));
  // Run at 09:00 exactly: an equal time is not later, so tomorrow.
  EXPECT_EQ(record.next_run, (TaskTime{2026, 3, 11, 9, 0}));
  EXPECT_EQ(Registrations(), std::vector<std::string>{"1@2026-03-11 09:00:01"});
  EXPECT_EQ(host_.asked, 0);
}

TEST_F(TaskManagerTest, AnUpdateWhileOfflineFailsAndWaitsForTheNetwork) {
  Install({Task(2, kTaskKindUpdate, kScheduleDaily, u"10|0|1")});
  host_.connected = false;
  EXPECT_EQ(RunTaskManager(kFolder, u"2", host_), TaskOutcome::kFailed);
  EXPECT_TRUE(host_.started.empty());
  EXPECT_EQ(TaskStatus(Read(2)), u"Failure");
  EXPECT_EQ(Registrations(), (std::vector<std::string>{"2@2026-03-10 10:00:01", "2@event 5"}));
  host_.connected = true;
  EXPECT_EQ(RunTaskManager(kFolder, u"2", host_), TaskOutcome::kRan);
  EXPECT_EQ(host_.started,
            std::vector<std::u16string>{u"\\Program Files\\Kolvar\\KVAntivirus DOUPDATE"});
  EXPECT_EQ(Registrations(), std::vector<std::string>{"2@2026-03-10 10:00:01"})
      << "the run clears the retry";
}

TEST_F(TaskManagerTest, AScanThatCannotStartFailsAndWaitsForTheNextWakeUp) {
  TaskRecord no_retry = Task(4, kTaskKindScan, kScheduleWeekly, u"9|0|1|1|1|1|1|1|1|1|");
  no_retry.retry_on_failure = 0;
  Install({Task(3, kTaskKindScan, kScheduleOnce, u"9|0|10|3|2026"), no_retry});
  host_.can_start = false;
  EXPECT_EQ(RunTaskManager(kFolder, u"3", host_), TaskOutcome::kFailed);
  const TaskRecord record = Read(3);
  EXPECT_EQ(TaskStatus(record), u"Failure");
  EXPECT_FALSE(record.next_run.HasDate()) << "a once task has no next run after its run";
  EXPECT_EQ(Registrations(), std::vector<std::string>{"3@event 11"});
  EXPECT_EQ(RunTaskManager(kFolder, u"4", host_), TaskOutcome::kFailed);
  EXPECT_EQ(Registrations(), (std::vector<std::string>{"3@event 11", "4@2026-03-11 09:00:01"}));
}

// Retries never pile up: an at-start-up scan that keeps failing keeps one wake-up registration,
// and a once task that succeeds after a failure is not started again at the next wake-up.
TEST_F(TaskManagerTest, RetriesDoNotPileUpAndEndWithASuccessfulOnceTask) {
  Install({Task(6, kTaskKindScan, kScheduleAtStartup, u""),
           Task(7, kTaskKindScan, kScheduleOnce, u"9|0|10|3|2026")});
  platform::NotificationTrigger trigger;
  trigger.type = platform::kTriggerEvent;
  trigger.event = platform::kEventWakeup;
  trigger.application = u"\\Program Files\\Kolvar\\KVTaskMgr";
  trigger.arguments = u"6";
  platform::NotificationHandle handle = 0;
  ASSERT_TRUE(platform::SetNotification(trigger, &handle));
  host_.can_start = false;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(RunTaskManager(kFolder, u"6", host_), TaskOutcome::kFailed);
  EXPECT_EQ(Registrations(), std::vector<std::string>{"6@event 11"});
  EXPECT_EQ(RunTaskManager(kFolder, u"7", host_), TaskOutcome::kFailed);
  EXPECT_EQ(Registrations(), (std::vector<std::string>{"6@event 11", "7@event 11"}));
  host_.can_start = true;
  EXPECT_EQ(RunTaskManager(kFolder, u"7", host_), TaskOutcome::kRan);
  EXPECT_EQ(Registrations(), std::vector<std::string>{"6@event 11"});
}

TEST_F(TaskManagerTest, CancelOnlyWritesTheStatus) {
  TaskRecord record = Task(1, kTaskKindScan, kScheduleDaily, u"9|0|1");
  record.ask_before_running = 1;
  record.next_run = {2026, 3, 10, 9, 0};
  Install({record});
  host_.answer = {TaskChoice::kCancel, 0};
  EXPECT_EQ(RunTaskManager(kFolder, u"1", host_), TaskOutcome::kCancelled);
  EXPECT_EQ(host_.asked, 1);
  EXPECT_TRUE(host_.started.empty());
  const TaskRecord after = Read(1);
  EXPECT_EQ(TaskStatus(after), u"Cancelled");
  EXPECT_EQ(after.next_run, record.next_run);
  EXPECT_FALSE(after.last_run.HasDate());
  EXPECT_TRUE(Registrations().empty());
}

TEST_F(TaskManagerTest, PostponeMovesTheNextRunAndRegistersIt) {
  struct Case {
    TaskTime next_run;
    TaskTime now;
    int interval;
    TaskTime expected;
    const char* registered;
  } const cases[] = {
      {{2026, 3, 10, 23, 30},
       {2026, 3, 10, 23, 30},
       1,
       {2026, 3, 11, 0, 30},
       "1@2026-03-11 00:30:01"},
      {{2026, 3, 10, 12, 55},
       {2026, 3, 10, 12, 55},
       0,
       {2026, 3, 10, 13, 5},
       "1@2026-03-10 13:05:01"},
      {kNoTime, {2026, 12, 31, 20, 0}, 6, {2027, 1, 1, 20, 0}, "1@2027-01-01 20:00:01"},
  };
  for (const Case& c : cases) {
    TaskRecord record = Task(1, kTaskKindScan, kScheduleDaily, u"9|0|1");
    record.ask_before_running = 1;
    record.next_run = c.next_run;
    Install({record});
    host_.now = c.now;
    host_.answer = {TaskChoice::kPostpone, c.interval};
    EXPECT_EQ(RunTaskManager(kFolder, u"1", host_), TaskOutcome::kPostponed);
    const TaskRecord after = Read(1);
    EXPECT_EQ(TaskStatus(after), u"Postponed");
    EXPECT_EQ(after.next_run, c.expected);
    EXPECT_EQ(Registrations(), std::vector<std::string>{c.registered});
  }
  EXPECT_TRUE(host_.started.empty());
}

TEST_F(TaskManagerTest, ClosingTheQuestionComputesTheNextRunWithoutStarting) {
  TaskRecord record =
      Task(1, kTaskKindScan, kScheduleMonthly, u"9|0|1|20|0|0|0|1|1|1|1|1|1|1|1|1|1|1|1");
  record.ask_before_running = 1;
  SetFieldText(record.status, kTaskStatusChars, u"Success");
  Install({record});
  host_.now = {2026, 3, 5, 10, 0};
  host_.answer = {TaskChoice::kNone, 0};
  EXPECT_EQ(RunTaskManager(kFolder, u"1", host_), TaskOutcome::kNotStarted);
  EXPECT_TRUE(host_.started.empty());
  const TaskRecord after = Read(1);
  EXPECT_EQ(TaskStatus(after), u"Success");
  EXPECT_EQ(after.last_run, (TaskTime{2026, 3, 5, 10, 0}));
  EXPECT_EQ(after.next_run, (TaskTime{2026, 3, 20, 9, 0}));
  EXPECT_EQ(Registrations(), std::vector<std::string>{"1@2026-03-20 09:00:01"});
}

TEST_F(TaskManagerTest, EventTasksKeepTheirRegistrationWhenRun) {
  Install({Task(5, kTaskKindUpdate, kScheduleOnConnection, u"0")});
  platform::NotificationTrigger trigger;
  trigger.type = platform::kTriggerEvent;
  trigger.event = platform::kEventNetworkConnection;
  trigger.application = u"\\Program Files\\Kolvar\\KVTaskMgr";
  trigger.arguments = u"5";
  platform::NotificationHandle handle = 0;
  ASSERT_TRUE(platform::SetNotification(trigger, &handle));
  EXPECT_EQ(RunTaskManager(kFolder, u"5", host_), TaskOutcome::kRan);
  EXPECT_EQ(Registrations(), std::vector<std::string>{"5@event 5"});
  EXPECT_FALSE(Read(5).next_run.HasDate());
}

TEST_F(TaskManagerTest, ALateRunIsLogged) {
  TaskRecord record = Task(1, kTaskKindScan, kScheduleDaily, u"9|0|1");
  record.next_run = {2026, 3, 9, 9, 0};
  Install({record});
  EXPECT_EQ(RunTaskManager(kFolder, u"1", host_), TaskOutcome::kRan);
  ASSERT_EQ(host_.logged.size(), 1u);
  EXPECT_EQ(host_.logged[0],
            u"task 1 runs late: it was due at 2026-03-09 09:00, it runs at 2026-03-10 09:00");
}

TEST_F(TaskManagerTest, MissingListUnknownTaskAndEmptyCommandLineChangeNothing) {
  EXPECT_EQ(RunTaskManager(kFolder, u"", host_), TaskOutcome::kNoCommandLine);
  EXPECT_EQ(host_.not_found_boxes, 0);
  EXPECT_EQ(RunTaskManager(kFolder, u"1", host_), TaskOutcome::kNoDatabase);
  EXPECT_EQ(host_.not_found_boxes, 1);
  Install({Task(1, kTaskKindScan, kScheduleDaily, u"9|0|1")});
  const std::string before = device_.ReadFile(kTasks);
  EXPECT_EQ(RunTaskManager(kFolder, u"9", host_), TaskOutcome::kNoSuchTask);
  EXPECT_EQ(device_.ReadFile(kTasks), before);
  EXPECT_TRUE(host_.started.empty());
  EXPECT_TRUE(Registrations().empty());
}

}  // namespace
}  // namespace kolvar
