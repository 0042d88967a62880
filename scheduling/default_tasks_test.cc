// The installed task list, byte for byte where it matters.
#include "scheduling/default_tasks.h"

#include <gtest/gtest.h>

#include <cstring>

#include "scheduling/task_database.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

TEST(DefaultTasksTest, AWeeklyScanAndADailyUpdateBothDisabled) {
  const std::string bytes = DefaultTaskFileBytes();
  ASSERT_EQ(bytes.size(), 2 * sizeof(TaskRecord));
  uint32_t id = 0;
  std::memcpy(&id, bytes.data(), 4);
  EXPECT_EQ(id, kDefaultScanTaskId);
  EXPECT_EQ(bytes[1044], 'S');
  std::memcpy(&id, bytes.data() + sizeof(TaskRecord), 4);
  EXPECT_EQ(id, kDefaultUpdateTaskId);
  EXPECT_EQ(bytes[sizeof(TaskRecord) + 1044], 'U');

  testing::TestDevice device;
  device.WriteFile(u"\\KVTasks.dat", bytes);
  std::vector<TaskRecord> tasks;
  ASSERT_TRUE(ReadAllTasks(u"\\KVTasks.dat", &tasks));
  ASSERT_EQ(tasks.size(), 2u);
  EXPECT_EQ(TaskName(tasks[0]), u"Weekly scan");
  EXPECT_EQ(TaskParameterText(tasks[0]), u"12|0|1|1|0|0|0|0|0|0|");
  EXPECT_EQ(TaskName(tasks[1]), u"Daily update");
  EXPECT_EQ(TaskParameterText(tasks[1]), u"10|0|1");
  for (const TaskRecord& task : tasks) {
    EXPECT_EQ(task.enabled, 0u);
    EXPECT_EQ(TaskProgram(task), u"KVAntivirus");
    EXPECT_EQ(TaskStatus(task), u"");
    EXPECT_FALSE(task.last_run.HasDate());
    EXPECT_FALSE(task.next_run.HasDate());
  }
}

}  // namespace
}  // namespace kolvar
