// The common library's locks and shared blocks across real programs: a named lock excludes another
// program and survives its death, the in-process lock does not reach other programs, and a second
// program sees a shared block's bytes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "common/lockable_object.h"
#include "common/object_names.h"
#include "common/shared_block.h"
#include "platform/kernel_objects.h"
#include "platform/process.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

using platform::WaitResult;

constexpr uint32_t kBound = 30000;  // ms; a failure bound only

// Takes an object's lock on a thread of its own, so that a test can see whether it is blocked.
class LockAttempt {
 public:
  explicit LockAttempt(LockableObject* object)
      : thread_([this, object] {
          object->Lock();
          acquired_ = true;
          object->Unlock();
        }) {}
  ~LockAttempt() { thread_.join(); }
  bool acquired() const { return acquired_; }
  bool AwaitAcquired() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBound);
    while (!acquired_ && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return acquired_;
  }

 private:
  std::atomic<bool> acquired_{false};
  std::thread thread_;
};

class CommonProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = device_.InstallPrograms({"kolvar_common_child"});
    ASSERT_TRUE(held_.Create(u"C14HELD", true, false));
    ASSERT_TRUE(release_.Create(u"C14RELEASE", true, false));
  }

  void StartChild(std::u16string_view command) {
    ASSERT_TRUE(platform::Process::Start(folder_ + u"\\kolvar_common_child", command, {}, &child_));
  }

  uint32_t ExitCode() {
    EXPECT_EQ(child_.Wait(kBound), WaitResult::kSignaled);
    uint32_t code = 0;
    EXPECT_TRUE(child_.GetExitCode(&code));
    return code;
  }

  // Long enough for a lock that is wrongly free to be taken; a pass never depends on it.
  static void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(300)); }

  kolvar::testing::TestDevice device_;
  std::u16string folder_;
  platform::Event held_;
  platform::Event release_;
  platform::Process child_;
};

TEST_F(CommonProcessTest, NamedLockExcludesOtherProgram) {
  StartChild(u"lock 2 KVTESTCFG");
  ASSERT_EQ(held_.Wait(kBound), WaitResult::kSignaled);
  platform::Mutex probe;
  ASSERT_TRUE(probe.Create(LockName(u"KVTESTCFG")));
  EXPECT_EQ(probe.Wait(0), WaitResult::kTimeout);

  LockableObject mine(true, kLockMutex, u"KVTESTCFG");
  {
    LockAttempt attempt(&mine);
    Pause();
    EXPECT_FALSE(attempt.acquired());
    ASSERT_TRUE(release_.Set());
    EXPECT_TRUE(attempt.AwaitAcquired());
  }
  EXPECT_EQ(ExitCode(), 0u);
}

TEST_F(CommonProcessTest, InProcessLockDoesNotReachOtherProgram) {
  StartChild(u"lock 1 KVTESTCFG");
  ASSERT_EQ(held_.Wait(kBound), WaitResult::kSignaled);
  EXPECT_FALSE(platform::ObjectExists(LockName(u"KVTESTCFG")));
  LockableObject mine(true, kLockCriticalSection, u"KVTESTCFG");
  {
    LockAttempt attempt(&mine);
    EXPECT_TRUE(attempt.AwaitAcquired());
  }
  ASSERT_TRUE(release_.Set());
  EXPECT_EQ(ExitCode(), 0u);
}

TEST_F(CommonProcessTest, LockOfKilledProgramCountsAsAcquired) {
  StartChild(u"hang 2 KVTESTCFG");
  ASSERT_EQ(held_.Wait(kBound), WaitResult::kSignaled);
  LockableObject mine(true, kLockMutex, u"KVTESTCFG");
  LockAttempt attempt(&mine);
  Pause();
  EXPECT_FALSE(attempt.acquired());
  ASSERT_TRUE(child_.Terminate());
  EXPECT_TRUE(attempt.AwaitAcquired());
}

TEST_F(CommonProcessTest, SecondProgramSeesFirstProgramsBlock) {
  SharedBlock block(u"SHD_KVTEST", 8);
  ASSERT_TRUE(block.IsReady());
  EXPECT_TRUE(block.IsNew());
  const unsigned char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(block.Write(data, 8));
  StartChild(u"block SHD_KVTEST 8 0102030405060708");
  EXPECT_EQ(ExitCode(), 0u);
  unsigned char read[8] = {};
  ASSERT_TRUE(block.Read(read, 8));
  const unsigned char reversed[8] = {8, 7, 6, 5, 4, 3, 2, 1};
  EXPECT_EQ(std::memcmp(read, reversed, 8), 0);
}

TEST_F(CommonProcessTest, BlockCopyWaitsForOtherProgramHoldingItsLock) {
  SharedBlock block(u"SHD_KVTEST", 8);
  ASSERT_TRUE(block.IsReady());
  // The child takes the lock that the block's mutex name gives: "_@SHD_KVTEST@_".
  StartChild(u"lock 2 SHD_KVTEST");
  ASSERT_EQ(held_.Wait(kBound), WaitResult::kSignaled);
  std::atomic<bool> written{false};
  std::thread writer([&] {
    EXPECT_TRUE(block.Write("ABCDEFGH", 8));
    written = true;
  });
  Pause();
  EXPECT_FALSE(written);
  ASSERT_TRUE(release_.Set());
  writer.join();
  EXPECT_TRUE(written);
  EXPECT_EQ(ExitCode(), 0u);
}

}  // namespace
}  // namespace kolvar
