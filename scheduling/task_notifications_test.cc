// Which registrations belong to a task: the task manager's program and the identifier read as a
// number from the command line; other programs' registrations are never touched.
#include "scheduling/task_notifications.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/notification.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

constexpr char16_t kTaskManager[] = u"\\Program Files\\Kolvar\\KVTaskMgr";

platform::NotificationHandle Register(std::u16string application, std::u16string arguments) {
  platform::NotificationTrigger trigger;
  trigger.type = platform::kTriggerEvent;
  trigger.event = platform::kEventWakeup;
  trigger.application = std::move(application);
  trigger.arguments = std::move(arguments);
  platform::NotificationHandle handle = 0;
  EXPECT_TRUE(platform::SetNotification(trigger, &handle));
  return handle;
}

std::vector<platform::NotificationHandle> Handles() {
  std::vector<platform::NotificationHandle> handles;
  EXPECT_TRUE(platform::ListNotifications(&handles));
  return handles;
}

TEST(TaskNotificationsTest, ClearingTakesTheTasksOwnRegistrationsOnly) {
  testing::TestDevice device;
  Register(kTaskManager, u"12");
  const auto other_task = Register(kTaskManager, u"13");
  Register(kTaskManager, u"12 later");  // read as the number 12
  const auto other_program = Register(u"\\Program Files\\Other\\KVTaskMgr", u"12");
  ASSERT_TRUE(ClearTaskNotifications(kTaskManager, 12));
  EXPECT_EQ(Handles(), (std::vector<platform::NotificationHandle>{other_task, other_program}));
  ASSERT_TRUE(ClearTaskNotifications(kTaskManager, kAllTasks));
  EXPECT_EQ(Handles(), (std::vector<platform::NotificationHandle>{other_program}));
}

TEST(TaskNotificationsTest, RegisteringFollowsTheScheduleType) {
  testing::TestDevice device;
  TaskRecord record = EmptyTaskRecord();
  record.id = 4;
  record.schedule_type = kScheduleDaily;
  ASSERT_TRUE(RegisterTask(kTaskManager, record, true));
  EXPECT_TRUE(Handles().empty()) << "no next run, no registration";
  record.next_run = {2027, 2, 3, 4, 5};
  ASSERT_TRUE(RegisterTask(kTaskManager, record, true));
  ASSERT_TRUE(RegisterTask(kTaskManager, record, true));
  auto handles = Handles();
  ASSERT_EQ(handles.size(), 1u) << "cleared first";
  platform::NotificationTrigger trigger;
  ASSERT_TRUE(platform::ReadNotification(handles[0], &trigger));
  EXPECT_EQ(trigger.type, platform::kTriggerTime);
  EXPECT_EQ(trigger.arguments, u"4");
  EXPECT_EQ(trigger.start.hour, 4);
  EXPECT_EQ(trigger.start.minute, 5);
  EXPECT_EQ(trigger.start.second, 1);
  record.schedule_type = kScheduleWhenIdle;
  ASSERT_TRUE(RegisterTask(kTaskManager, record, true));
  EXPECT_TRUE(Handles().empty()) << "idle tasks are never registered";
  ASSERT_TRUE(RegisterTaskEvent(kTaskManager, 4, platform::kEventNetworkConnection));
  ASSERT_TRUE(RegisterTaskEvent(kTaskManager, 4, platform::kEventWakeup));
  EXPECT_EQ(Handles().size(), 2u) << "retries do not clear";
  // A second retry on the same event, or one of a task whose schedule is that event, would start
  // the task twice for one event.
  ASSERT_TRUE(RegisterTaskEvent(kTaskManager, 4, platform::kEventWakeup));
  record.schedule_type = kScheduleAtStartup;
  ASSERT_TRUE(RegisterTask(kTaskManager, record, true));
  ASSERT_TRUE(RegisterTaskEvent(kTaskManager, 4, platform::kEventWakeup));
  EXPECT_EQ(Handles().size(), 1u);
}

}  // namespace
}  // namespace kolvar
