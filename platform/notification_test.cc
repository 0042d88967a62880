// The registration table of the notification service within one process: what is registered
// reads back, handles are never reused, bad triggers are refused, and the connected-state query
// answers from its test file.
#include "platform/notification.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/error.h"
#include "tests/testing/test_device.h"

namespace kolvar::platform {
namespace {

NotificationTrigger TimeTrigger(uint16_t minute, std::u16string arguments) {
  NotificationTrigger trigger;
  trigger.type = kTriggerTime;
  trigger.application = u"\\Program Files\\Kolvar\\KVTaskMgr";
  trigger.arguments = std::move(arguments);
  trigger.start = SystemTime{2027, 1, 0, 31, 23, minute, 1, 0};
  return trigger;
}

TEST(NotificationTest, RegistrationsReadBackAndClearByHandle) {
  testing::TestDevice device;
  NotificationHandle first = 0, second = 0, third = 0;
  ASSERT_TRUE(SetNotification(TimeTrigger(59, u"1"), &first));
  NotificationTrigger event;
  event.type = kTriggerEvent;
  event.event = kEventNetworkConnection;
  event.application = u"\\Program Files\\Kolvar\\KVTaskMgr";
  event.arguments = u"2";
  ASSERT_TRUE(SetNotification(event, &second));
  std::vector<NotificationHandle> handles;
  ASSERT_TRUE(ListNotifications(&handles));
  EXPECT_EQ(handles, (std::vector<NotificationHandle>{first, second}));

  NotificationTrigger read;
  ASSERT_TRUE(ReadNotification(first, &read));
  EXPECT_EQ(read.type, kTriggerTime);
  EXPECT_EQ(read.application, u"\\Program Files\\Kolvar\\KVTaskMgr");
  EXPECT_EQ(read.arguments, u"1");
  EXPECT_EQ(read.start.year, 2027);
  EXPECT_EQ(read.start.day, 31);
  EXPECT_EQ(read.start.minute, 59);
  EXPECT_EQ(read.start.second, 1);
  ASSERT_TRUE(ReadNotification(second, &read));
  EXPECT_EQ(read.type, kTriggerEvent);
  EXPECT_EQ(read.event, kEventNetworkConnection);
  EXPECT_EQ(read.arguments, u"2");

  ASSERT_TRUE(ClearNotification(first));
  EXPECT_FALSE(ClearNotification(first));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(ReadNotification(first, &read));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  // A handle is never given again, so a stale one names nothing new.
  ASSERT_TRUE(SetNotification(TimeTrigger(0, u""), &third));
  EXPECT_GT(third, second);
  ASSERT_TRUE(ListNotifications(&handles));
  EXPECT_EQ(handles, (std::vector<NotificationHandle>{second, third}));
}

TEST(NotificationTest, BadTriggersAreRefused) {
  testing::TestDevice device;
  NotificationTrigger bad_type = TimeTrigger(0, u"1");
  bad_type.type = 3;
  NotificationTrigger bad_event = TimeTrigger(0, u"1");
  bad_event.type = kTriggerEvent;
  bad_event.event = 7;
  NotificationTrigger bad_month = TimeTrigger(0, u"1");
  bad_month.start.month = 13;
  NotificationTrigger no_program = TimeTrigger(0, u"1");
  no_program.application.clear();
  NotificationTrigger nul = TimeTrigger(0, std::u16string(u"1\0"
                                                          u"2",
                                                          3));
  for (const NotificationTrigger* trigger :
       {&bad_type, &bad_event, &bad_month, &no_program, &nul}) {
    NotificationHandle handle = 0;
    EXPECT_FALSE(SetNotification(*trigger, &handle));
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  }
  std::vector<NotificationHandle> handles;
  ASSERT_TRUE(ListNotifications(&handles));
  EXPECT_TRUE(handles.empty());
}

TEST(NotificationTest, TheConnectedStateComesFromItsTestFile) {
  testing::TestDevice device;
  const std::string file = device.Host(u"\\Temp\\network");
  setenv("KOLVAR_NETWORK_STATE_FILE", file.c_str(), 1);
  EXPECT_FALSE(IsNetworkConnected()) << "a missing file is offline";
  device.WriteFile(u"\\Temp\\network", "1\n");
  EXPECT_TRUE(IsNetworkConnected());
  device.WriteFile(u"\\Temp\\network", "0\n");
  EXPECT_FALSE(IsNetworkConnected());
  unsetenv("KOLVAR_NETWORK_STATE_FILE");
}

}  // namespace
}  // namespace kolvar::platform
