// The stop gate with a real worker thread (pause holds it between units, resume releases it, stop
// wakes it and ends it, neither returns while a unit is in progress), per-thread priorities, and
// the monotonic sleep and tick count.
#include "platform/thread.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace kolvar::platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Polls `condition` for up to ten seconds: the bound of a failure, never of a success.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

// A worker that counts units and marks when it is inside one.
class Worker {
 public:
  explicit Worker(StopGate* gate) : gate_(gate), thread_([this] { Run(); }) {}
  ~Worker() {
    gate_->RequestStop();
    thread_.join();
  }

  int units() const { return units_.load(); }
  bool in_unit() const { return in_unit_.load(); }
  bool ended() const { return ended_.load(); }
  void join() { thread_.join(); }

 private:
  void Run() {
    while (gate_->Checkpoint()) {
      in_unit_ = true;
      units_.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      in_unit_ = false;
    }
    gate_->EndUnit();
    ended_ = true;
  }

  StopGate* gate_;
  std::atomic<int> units_{0};
  std::atomic<bool> in_unit_{false};
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

TEST(StopGateTest, PauseHoldsTheWorkerBetweenUnitsAndResumeReleasesIt) {
  StopGate gate;
  Worker worker(&gate);
  ASSERT_TRUE(Eventually([&] { return worker.units() > 10; }));
  for (int round = 0; round < 20; ++round) {
    gate.Pause();
    EXPECT_FALSE(worker.in_unit());
    EXPECT_TRUE(gate.IsPaused());
    const int held = worker.units();
    std::this_thread::sleep_for(milliseconds(5));
    EXPECT_EQ(worker.units(), held);
    EXPECT_FALSE(worker.in_unit());
    gate.Resume();
    EXPECT_FALSE(gate.IsPaused());
    ASSERT_TRUE(Eventually([&] { return worker.units() > held; }));
  }
}

TEST(StopGateTest, StopWakesAParkedWorkerAndEndsIt) {
  StopGate gate;
  Worker worker(&gate);
  ASSERT_TRUE(Eventually([&] { return worker.units() > 0; }));
  gate.Pause();
  const int held = worker.units();
  gate.RequestStop();
  EXPECT_TRUE(gate.StopRequested());
  ASSERT_TRUE(Eventually([&] { return worker.ended(); }));
  EXPECT_EQ(worker.units(), held);
  EXPECT_FALSE(gate.Checkpoint());
}

TEST(StopGateTest, StopWhileRunningLetsNoFurtherUnitStart) {
  StopGate gate;
  Worker worker(&gate);
  ASSERT_TRUE(Eventually([&] { return worker.units() > 10; }));
  gate.RequestStop();
  EXPECT_FALSE(worker.in_unit());
  const int last = worker.units();
  ASSERT_TRUE(Eventually([&] { return worker.ended(); }));
  EXPECT_EQ(worker.units(), last);
}

TEST(StopGateTest, PauseAndStopWaitForTheUnitInProgress) {
  StopGate gate;
  std::promise<void> entered, release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> unit_done{false};
  std::thread worker([&] {
    ASSERT_TRUE(gate.Checkpoint());
    entered.set_value();
    released.wait();
    unit_done = true;
    gate.EndUnit();
  });
  entered.get_future().wait();
  auto pause = std::async(std::launch::async, [&] { gate.Pause(); });
  EXPECT_EQ(pause.wait_for(milliseconds(100)), std::future_status::timeout);
  auto stop = std::async(std::launch::async, [&] { gate.RequestStop(); });
  EXPECT_EQ(stop.wait_for(milliseconds(50)), std::future_status::timeout);
  release.set_value();
  EXPECT_EQ(pause.wait_for(seconds(10)), std::future_status::ready);
  EXPECT_EQ(stop.wait_for(seconds(10)), std::future_status::ready);
  EXPECT_TRUE(unit_done);
  worker.join();
  EXPECT_FALSE(gate.Checkpoint());
}

TEST(StopGateTest, ARestEndsItsUnitAndAStopEndsTheRest) {
  StopGate gate;
  std::atomic<int> rested{-1};
  std::atomic<bool> working{false};
  std::thread worker([&] {
    ASSERT_TRUE(gate.Checkpoint());
    working = true;
    // Far longer than the test may take: only the stop can end it in time.
    rested = gate.Rest(600000) ? 1 : 0;
    gate.EndUnit();
  });
  ASSERT_TRUE(Eventually([&] { return working.load(); }));
  // A pause does not wait for the rest: it ended the unit before it.
  gate.Pause();
  gate.RequestStop();
  worker.join();
  EXPECT_EQ(rested.load(), 0);
}

TEST(StopGateTest, WorkerMayPauseOrStopItselfWithoutDeadlock) {
  StopGate gate;
  std::atomic<int> units{0};
  std::thread worker([&] {
    while (gate.Checkpoint()) {
      if (units.fetch_add(1) == 2) gate.Pause();  // parks at its next checkpoint
      if (units.load() == 5) gate.RequestStop();
    }
    gate.EndUnit();
  });
  ASSERT_TRUE(Eventually([&] { return gate.IsPaused() && units.load() == 3; }));
  std::this_thread::sleep_for(milliseconds(5));
  EXPECT_EQ(units.load(), 3);
  gate.Resume();
  worker.join();
  EXPECT_EQ(units.load(), 5);
}

TEST(StopGateTest, ResetOpensTheGateForANewRunAndSignalStopDoesNotWait) {
  StopGate gate;
  gate.Pause();  // before any worker: returns at once
  gate.SignalStop();
  EXPECT_FALSE(gate.Checkpoint());
  gate.Reset();
  EXPECT_FALSE(gate.StopRequested());
  EXPECT_FALSE(gate.IsPaused());
  EXPECT_TRUE(gate.Checkpoint());
  // SignalStop from the controller while a unit runs returns without waiting for it.
  gate.SignalStop();
  EXPECT_FALSE(gate.Checkpoint());
}

// Each priority is set on a thread of its own, so that the test's own thread is never lowered.
template <typename Body>
void OnNewThread(Body body) {
  std::thread(body).join();
}

TEST(ThreadPriorityTest, EachPriorityChangesOnlyTheCallingThread) {
  errno = 0;
  const int base = getpriority(PRIO_PROCESS, 0);
  ASSERT_EQ(errno, 0);
  OnNewThread([&] {
    ASSERT_TRUE(SetCurrentThreadPriority(ThreadPriority::kBelowNormal));
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), std::min(base + 5, 19));
  });
  EXPECT_EQ(getpriority(PRIO_PROCESS, 0), base);
  OnNewThread([&] {
    ASSERT_TRUE(SetCurrentThreadPriority(ThreadPriority::kIdle));
    EXPECT_EQ(sched_getscheduler(0), SCHED_IDLE);
    // Idle for the disk too (class 3), where the kernel reports I/O classes at all.
    const long io = syscall(SYS_ioprio_get, 1, 0);
    if (io >= 0) {
      EXPECT_EQ(io >> 13, 3);
    }
  });
  const long process_io = syscall(SYS_ioprio_get, 1, 0);
  if (process_io >= 0) {
    EXPECT_NE(process_io >> 13, 3);
  }
  EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
  OnNewThread([&] {
    EXPECT_TRUE(SetCurrentThreadPriority(ThreadPriority::kHighest));
    EXPECT_LE(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), base);
    EXPECT_TRUE(SetCurrentThreadPriority(ThreadPriority::kNormal));
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), base);
  });
}

TEST(ThreadPriorityTest, HighestNeverFailsEvenWithoutRlimitNice) {
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_NICE, &saved), 0);
  struct rlimit none = {0, saved.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_NICE, &none), 0);
  OnNewThread([] {
    EXPECT_TRUE(SetCurrentThreadPriority(ThreadPriority::kBelowNormal));
    EXPECT_TRUE(SetCurrentThreadPriority(ThreadPriority::kHighest));
    EXPECT_TRUE(SetCurrentThreadPriority(ThreadPriority::kIdle));
    EXPECT_TRUE(SetCurrentThreadPriority(ThreadPriority::kHighest));
  });
  ASSERT_EQ(setrlimit(RLIMIT_NICE, &saved), 0);
}

TEST(SleepTest, SleepLastsAtLeastItsTimeAndTicksAreMonotonic) {
  const uint32_t before = TickCount();
  const auto start = std::chrono::steady_clock::now();
  Sleep(120);
  const auto slept = std::chrono::steady_clock::now() - start;
  EXPECT_GE(slept, milliseconds(120));
  EXPECT_GE(static_cast<uint32_t>(TickCount() - before), 119u);
  Sleep(0);
  uint32_t last = TickCount();
  for (int i = 0; i < 1000; ++i) {
    const uint32_t now = TickCount();
    EXPECT_LT(static_cast<uint32_t>(now - last), 1000u);  // never runs backwards
    last = now;
  }
}

}  // namespace
}  // namespace kolvar::platform
