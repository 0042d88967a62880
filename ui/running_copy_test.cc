#include "ui/running_copy.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/thread.h"
#include "tests/testing/test_device.h"

namespace kolvar::ui {
namespace {

bool WaitFor(const std::atomic<int>& value, int wanted) {
  for (int i = 0; i < 2000 && value < wanted; ++i) platform::Sleep(5);
  return value >= wanted;
}

TEST(RunningCopy, SecondStartReachesTheListenerOfTheRunningCopy) {
  kolvar::testing::TestDevice device;
  EXPECT_FALSE(ActivateRunningCopy(u"KolvarWindowApp"));
  std::atomic<int> activations{0};
  {
    RunningCopyListener listener;
    ASSERT_TRUE(listener.Listen(u"KolvarWindowApp", [&] { ++activations; }));
    EXPECT_FALSE(ActivateRunningCopy(u"SchedulerWindowApp"));
    EXPECT_TRUE(ActivateRunningCopy(u"KolvarWindowApp"));
    EXPECT_TRUE(WaitFor(activations, 1));
    EXPECT_TRUE(ActivateRunningCopy(u"KolvarWindowApp"));
    EXPECT_TRUE(WaitFor(activations, 2));
  }
  // The listener's event went with it.
  EXPECT_FALSE(ActivateRunningCopy(u"KolvarWindowApp"));
}

}  // namespace
}  // namespace kolvar::ui
