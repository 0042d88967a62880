// kvtasks as people and scripts run it: the installed list, the next run of random records as the
// oracle computes it, changing fields as the editor saves them, and its refusals.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/notification.h"
#include "scheduling/default_tasks.h"
#include "scheduling/next_run.h"
#include "scheduling/task_database.h"
#include "tests/scheduling/schedule_oracle.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

struct Result {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Moment(const TaskTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute);
  return t.HasDate() ? text : "unset";
}

constexpr char16_t kTasks[] = u"\\Program Files\\Kolvar\\KVTasks.dat";

class KvtasksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_.MakeFolder(u"\\Program Files\\Kolvar");
    device_.WriteFile(kTasks, DefaultTaskFileBytes());
  }

  Result Kvtasks(const std::string& arguments) {
    const std::string err_file = device_.Host(u"\\Temp\\kvtasks.err");
    const std::string command =
        Quote(testing::BinDir() + "/kvtasks") + " " + arguments + " 2>" + Quote(err_file);
    Result result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = device_.ReadFile(u"\\Temp\\kvtasks.err");
    return result;
  }

  std::string File() { return Quote(device_.Host(kTasks)); }

  // The registrations as "arguments@start" (start "event N" for event triggers).
  std::vector<std::string> Registrations() {
    std::vector<platform::NotificationHandle> handles;
    EXPECT_TRUE(platform::ListNotifications(&handles));
    std::vector<std::string> shown;
    for (platform::NotificationHandle handle : handles) {
      platform::NotificationTrigger trigger;
      EXPECT_TRUE(platform::ReadNotification(handle, &trigger));
      EXPECT_EQ(trigger.application, u"\\Program Files\\Kolvar\\KVTaskMgr");
      char start[64];
      const platform::SystemTime& t = trigger.start;
      std::snprintf(start, sizeof start, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day,
                    t.hour, t.minute, t.second);
      shown.push_back(std::string(trigger.arguments.begin(), trigger.arguments.end()) + "@" +
                      (trigger.type == platform::kTriggerTime
                           ? std::string(start)
                           : "event " + std::to_string(trigger.event)));
    }
    return shown;
  }

  TaskRecord Task(uint32_t id) {
    TaskRecord record = EmptyTaskRecord();
    EXPECT_EQ(FindTask(kTasks, id, &record), TaskLookup::kFound);
    return record;
  }

  testing::TestDevice device_;
};

TEST_F(KvtasksTest, ListsTheInstalledTasks) {
  const Result result = Kvtasks("list " + File());
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out,
            "id\tkind\tname\tenabled\ttype\tparameters\tstatus\tlast run\tnext run\n"
            "1\tS\tWeekly scan\t0\tweekly\t12|0|1|1|0|0|0|0|0|0|\t\tunset\tunset\n"
            "2\tU\tDaily update\t0\tdaily\t10|0|1\t\tunset\tunset\n");
}

TEST_F(KvtasksTest, NextAgreesWithTheOracleOnRandomRecordsAndMoments) {
  std::mt19937 random(77);
  const auto between = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  std::vector<TaskRecord> records;
  for (uint32_t id = 1; id <= 60; ++id) {
    TaskRecord record = EmptyTaskRecord();
    record.id = id;
    record.kind = kTaskKindScan;
    record.schedule_type = static_cast<uint32_t>(between(0, 2));
    ScheduleParameters p = ZeroScheduleParameters();
    p.daily = {between(0, 23), between(0, 59), between(1, 5)};
    p.weekly = {between(0, 23), between(0, 59), between(1, 3), {}};
    for (int32_t& day : p.weekly.days) day = between(0, 3) == 0;
    p.monthly = {between(0, 23),
                 between(0, 59),
                 between(0, 1),
                 between(1, 31),
                 1,
                 between(0, 4),
                 between(0, 6),
                 {}};
    for (int32_t& month : p.monthly.months) month = between(0, 2) == 0;
    SerialiseScheduleParameters(p, &record);
    if (between(0, 1) == 0) record.last_run = {between(2024, 2027), between(1, 12), 1, 0, 0};
    records.push_back(record);
  }
  device_.WriteFile(kTasks, std::string(reinterpret_cast<const char*>(records.data()),
                                        records.size() * sizeof(TaskRecord)));
  for (const TaskRecord& record : records) {
    const TaskTime now{between(2026, 2027), between(1, 12), between(1, 28), between(0, 23),
                       between(0, 59)};
    char now_text[32];
    std::snprintf(now_text, sizeof now_text, "%04d-%02d-%02dT%02d:%02d", now.year, now.month,
                  now.day, now.hour, now.minute);
    const Result result =
        Kvtasks("next " + File() + " " + std::to_string(record.id) + " --now " + now_text);
    ASSERT_EQ(result.exit_code, 0) << result.err;
    ScheduleParameters p = ZeroScheduleParameters();
    ParseScheduleParameters(record, &p);
    EXPECT_EQ(result.out,
              Moment(testing::OracleNextRun(record.schedule_type, record.last_run, p, now)) + "\n")
        << "task " << record.id << " at " << now_text;
  }
  // Nothing was written.
  EXPECT_EQ(device_.ReadFile(kTasks).size(), records.size() * sizeof(TaskRecord));
  TaskRecord first = EmptyTaskRecord();
  ASSERT_EQ(FindTask(kTasks, 1, &first), TaskLookup::kFound);
  EXPECT_FALSE(first.next_run.HasDate());
}

TEST_F(KvtasksTest, EnablingComputesTheNextRunAndDisablingClearsTheOptions) {
  // 14 March 2026 is a Saturday: the weekly scan runs on Monday the 16th at 12:00.
  Result result = Kvtasks("set " + File() + " 1 enabled 1 --now 2026-03-14T09:30");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  TaskRecord scan = Task(1);
  EXPECT_EQ(scan.enabled, 1u);
  EXPECT_EQ(scan.next_run, (TaskTime{2026, 3, 16, 12, 0}));
  EXPECT_EQ(scan.ask_before_running, 1u);
  EXPECT_EQ(Registrations(), std::vector<std::string>{"1@2026-03-16 12:00:01"});

  result =
      Kvtasks("set " + File() + " 1 parameters '7|15|1|0|0|0|0|0|1|0|' --now 2026-03-14T09:30");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  // Saturdays at 07:15, already past today.
  EXPECT_EQ(Task(1).next_run, (TaskTime{2026, 3, 21, 7, 15}));
  EXPECT_EQ(Registrations(), std::vector<std::string>{"1@2026-03-21 07:15:01"});

  result = Kvtasks("set " + File() + " 1 enabled 0");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  scan = Task(1);
  EXPECT_EQ(scan.enabled, 0u);
  EXPECT_EQ(scan.ask_before_running, 0u);
  EXPECT_EQ(scan.retry_on_failure, 0u);
  EXPECT_FALSE(scan.next_run.HasDate());
  EXPECT_EQ(TaskParameterText(scan), u"7|15|1|0|0|0|0|0|1|0|");
  EXPECT_TRUE(Registrations().empty());

  // A disabled task keeps what is set on it.
  result = Kvtasks("set " + File() + " 2 name 'Nightly update'");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  result = Kvtasks("set " + File() + " 2 type once");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  result = Kvtasks("set " + File() + " 2 parameters '23|5|31|12|2026'");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  result = Kvtasks("next " + File() + " 2");
  EXPECT_EQ(result.out, "2026-12-31 23:05\n");
  const TaskRecord update = Task(2);
  EXPECT_EQ(TaskName(update), u"Nightly update");
  EXPECT_EQ(update.schedule_type, static_cast<uint32_t>(kScheduleOnce));
  EXPECT_EQ(update.ask_before_running, 1u);
  EXPECT_FALSE(update.next_run.HasDate());
  EXPECT_TRUE(Registrations().empty());

  // Event types register their event.
  ASSERT_EQ(Kvtasks("set " + File() + " 2 type connected").exit_code, 0);
  ASSERT_EQ(Kvtasks("set " + File() + " 2 enabled 1").exit_code, 0);
  EXPECT_EQ(Registrations(), std::vector<std::string>{"2@event 5"});
  ASSERT_EQ(Kvtasks("set " + File() + " 2 type startup").exit_code, 0);
  EXPECT_EQ(Registrations(), std::vector<std::string>{"2@event 11"});
}

TEST_F(KvtasksTest, RefusesBadInputAndChangesNothing) {
  const std::string before = device_.ReadFile(kTasks);
  const struct {
    const char* arguments;
    const char* says;
  } cases[] = {
      {"next FILE 9", "no task has the identifier 9"},
      {"next FILE x", "ID is a decimal task identifier"},
      {"next FILE 1 --now 2026-02-30T10:00", "--now takes a moment"},
      {"set FILE 1 enabled maybe", "enabled is 0 or 1"},
      {"set FILE 1 type hourly", "unknown schedule type"},
      {"set FILE 1 parameters '9;0;1'", "parameters are numbers"},
      {"set FILE 1 colour red", "unknown field"},
      {"init FILE", "exists"},
  };
  for (const auto& c : cases) {
    std::string arguments = c.arguments;
    arguments.replace(arguments.find("FILE"), 4, File());
    const Result result = Kvtasks(arguments);
    EXPECT_EQ(result.exit_code, 1) << c.arguments;
    EXPECT_NE(result.err.find(c.says), std::string::npos) << c.arguments << ": " << result.err;
  }
  EXPECT_EQ(device_.ReadFile(kTasks), before);
  const Result missing = Kvtasks("list " + Quote(device_.Host(u"\\Temp\\none.dat")));
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("none.dat"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace kolvar
