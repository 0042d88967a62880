#include "common/thread_start.h"

#include <gtest/gtest.h>

#include <atomic>

namespace kolvar {
namespace {

TEST(StartThreadTest, RunsTheBodyOnANewThread) {
  std::atomic<bool> ran{false};
  std::thread::id id;
  std::thread thread;
  ASSERT_TRUE(StartThread(&thread, [&] {
    id = std::this_thread::get_id();
    ran = true;
  }));
  ASSERT_TRUE(thread.joinable());
  thread.join();
  EXPECT_TRUE(ran);
  EXPECT_NE(id, std::this_thread::get_id());
}

}  // namespace
}  // namespace kolvar
