// Lockable base in one program: status recording, lock names, nesting, and switching locking
// while the lock is held.
#include "common/lockable_object.h"

#include <gtest/gtest.h>

#include <thread>

#include "common/object_names.h"
#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

class LockableObjectTest : public ::testing::Test {
 protected:
  kolvar::testing::TestDevice device_;
};

TEST_F(LockableObjectTest, SetStatusRecordsOrClearsPlatformError) {
  LockableObject object(true, kLockCriticalSection);
  uint32_t error = 99;
  EXPECT_EQ(object.GetStatus(&error), kStatusOk);
  EXPECT_EQ(error, 0u);

  platform::SetLastError(platform::kErrorAccessDenied);
  object.SetStatus(kStatusFileOpenFailed);
  EXPECT_EQ(object.GetStatus(&error), kStatusFileOpenFailed);
  EXPECT_EQ(error, platform::kErrorAccessDenied);
  EXPECT_EQ(object.GetStatus(), kStatusFileOpenFailed);

  object.SetStatus(kStatusOk);
  EXPECT_EQ(object.GetStatus(&error), kStatusOk);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(platform::GetLastError(), platform::kErrorSuccess);
}

TEST_F(LockableObjectTest, NamedObjectLocksMutexWithWrappedName) {
  LockableObject named(true, kLockMutex, u"KVTEST");
  EXPECT_EQ(named.mutex_name(), u"_@KVTEST@_");
  EXPECT_EQ(named.GetStatus(), kStatusOk);
  LockableObject unnamed(true, kLockMutex);
  EXPECT_TRUE(unnamed.mutex_name().empty());
  EXPECT_TRUE(platform::ObjectExists(LockName(u"KVTEST")));

  named.Lock();
  EXPECT_TRUE(named.IsLocked());
  // Another thread opening the same name cannot take the mutex while the object holds it.
  auto other_thread_wait = [] {
    platform::Mutex mutex;
    EXPECT_TRUE(mutex.Create(LockName(u"KVTEST")));
    const platform::WaitResult result = mutex.Wait(0);
    if (result == platform::WaitResult::kSignaled) mutex.Release();
    return result;
  };
  platform::WaitResult result = platform::WaitResult::kFailed;
  std::thread([&] { result = other_thread_wait(); }).join();
  EXPECT_EQ(result, platform::WaitResult::kTimeout);
  named.Unlock();
  EXPECT_FALSE(named.IsLocked());
  std::thread([&] { result = other_thread_wait(); }).join();
  EXPECT_EQ(result, platform::WaitResult::kSignaled);
}

TEST_F(LockableObjectTest, LockNestsOnOwningThread) {
  for (int kind : {kLockCriticalSection, kLockMutex}) {
    LockableObject object(true, kind, u"NEST");
    object.Lock();
    object.Lock();
    object.Unlock();
    EXPECT_TRUE(object.IsLocked());
    object.Unlock();
    EXPECT_FALSE(object.IsLocked());
  }
}

TEST_F(LockableObjectTest, LockingCannotBeSwitchedOffWhileHeld) {
  for (int kind : {kLockCriticalSection, kLockMutex}) {
    LockableObject object(true, kind, u"SWITCH");
    object.Lock();
    object.SetLocking(false);
    EXPECT_TRUE(object.locking_on());
    object.Unlock();
    object.SetLocking(false);
    EXPECT_FALSE(object.locking_on());
    if (kind == kLockMutex) {
      EXPECT_FALSE(platform::ObjectExists(LockName(u"SWITCH")));
    }
    object.Lock();  // does nothing now
    EXPECT_FALSE(object.IsLocked());
    object.Unlock();
    object.SetLocking(true);
    EXPECT_TRUE(object.locking_on());
    if (kind == kLockMutex) {
      EXPECT_TRUE(platform::ObjectExists(LockName(u"SWITCH")));
    }
    object.Lock();
    EXPECT_TRUE(object.IsLocked());
    object.Unlock();
  }
}

TEST_F(LockableObjectTest, ObjectWithoutLockingNeverLocks) {
  LockableObject object(false, kLockMutex, u"OFF");
  EXPECT_FALSE(object.locking_on());
  EXPECT_FALSE(platform::ObjectExists(LockName(u"OFF")));
  object.Lock();
  EXPECT_FALSE(object.IsLocked());
  object.Unlock();
}

TEST_F(LockableObjectTest, CriticalSectionExcludesOtherThreads) {
  LockableObject object(true, kLockCriticalSection);
  int counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      object.Lock();
      const int seen = counter;
      counter = seen + 1;
      object.Unlock();
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 40000);
}

}  // namespace
}  // namespace kolvar
