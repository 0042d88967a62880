// Sleep, tick count, per-thread priorities and the stop gate. Linux keeps nice values per thread,
// so a priority set here changes only the calling thread, addressed by its thread id.
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/error.h"
#include "platform/thread.h"

namespace kolvar::platform {
namespace {

constexpr int kBelowNormalStep = 5;
constexpr int kNiceMin = -20;
constexpr int kNiceMax = 19;

// The nice value of the main thread when the program started: what "normal" means here.
const int kBaseNice = [] {
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, 0);
  return errno == 0 ? nice : 0;
}();

int CurrentNice(pid_t tid) {
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  return errno == 0 ? nice : kBaseNice;
}

// The best nice value RLIMIT_NICE lets an unprivileged thread reach: 20 - limit.
int BestAllowedNice() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NICE, &limit) != 0) return kBaseNice;
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 40) return kNiceMin;
  return 20 - static_cast<int>(limit.rlim_cur);
}

bool SetPolicy(int policy) {
  sched_param param{};
  const int rc = pthread_setschedparam(pthread_self(), policy, &param);
  return rc == 0 || FailWithErrno(rc);
}

bool IsIdle() {
  int policy = SCHED_OTHER;
  sched_param param{};
  return pthread_getschedparam(pthread_self(), &policy, &param) == 0 && policy == SCHED_IDLE;
}

// The I/O scheduler's class of a thread: an idle thread reads only when no other does.
constexpr int kIoprioWhoProcess = 1;  // a thread id, for the calls below
constexpr int kIoprioClassShift = 13;
constexpr int kIoprioClassNone = 0;
constexpr int kIoprioClassIdle = 3;

void SetIoClass(pid_t tid, int io_class) {
  // Not every kernel or I/O scheduler honours it; the CPU policy alone still applies then.
  syscall(SYS_ioprio_set, kIoprioWhoProcess, static_cast<int>(tid), io_class << kIoprioClassShift);
}

bool SetNice(pid_t tid, int nice) {
  if (nice < kNiceMin) nice = kNiceMin;
  if (nice > kNiceMax) nice = kNiceMax;
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0) return true;
  return FailWithErrno(errno);
}

}  // namespace

void Sleep(uint32_t milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  struct timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += milliseconds / 1000;
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
  if (deadline.tv_nsec >= 1000000000) {
    deadline.tv_nsec -= 1000000000;
    ++deadline.tv_sec;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

uint32_t TickCount() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
  return static_cast<uint32_t>(ms);  // wraps like the device's count
}

bool SetCurrentThreadPriority(ThreadPriority priority) {
  const pid_t tid = gettid();
  switch (priority) {
    case ThreadPriority::kIdle:
      if (!SetPolicy(SCHED_IDLE)) return false;
      SetIoClass(tid, kIoprioClassIdle);
      return true;
    case ThreadPriority::kBelowNormal:
      if (IsIdle() && !SetPolicy(SCHED_OTHER)) return false;
      SetIoClass(tid, kIoprioClassNone);
      return SetNice(tid, kBaseNice + kBelowNormalStep);
    case ThreadPriority::kNormal:
      if (IsIdle() && !SetPolicy(SCHED_OTHER)) return false;
      SetIoClass(tid, kIoprioClassNone);
      return SetNice(tid, kBaseNice);
    case ThreadPriority::kHighest: {
      SetIoClass(tid, kIoprioClassNone);
      // Whatever cannot be had for lack of RLIMIT_NICE is simply not taken.
      if (IsIdle() && !SetPolicy(SCHED_OTHER)) {
        SetLastError(kErrorSuccess);
        return true;
      }
      const int target = BestAllowedNice() < kBaseNice ? BestAllowedNice() : kBaseNice;
      if (target < CurrentNice(tid)) SetNice(tid, target);
      SetLastError(kErrorSuccess);
      return true;
    }
  }
  return Fail(kErrorInvalidParameter);
}

void StopGate::RequestStop() {
  std::unique_lock<std::mutex> lock(mutex_);
  stop_ = true;
  cv_.notify_all();
  if (CalledByWorker()) return;
  cv_.wait(lock, [this] { return !in_unit_; });
}

void StopGate::SignalStop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stop_ = true;
  cv_.notify_all();
}

void StopGate::Pause() {
  std::unique_lock<std::mutex> lock(mutex_);
  paused_ = true;
  cv_.notify_all();  // a worker at rest parks now
  if (CalledByWorker()) return;
  cv_.wait(lock, [this] { return !in_unit_; });
}

void StopGate::Resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  paused_ = false;
  cv_.notify_all();
}

void StopGate::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  stop_ = false;
  paused_ = false;
  in_unit_ = false;
  worker_ = std::thread::id();
  cv_.notify_all();
}

bool StopGate::StopRequested() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stop_;
}

bool StopGate::IsPaused() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return paused_;
}

bool StopGate::Checkpoint() {
  std::unique_lock<std::mutex> lock(mutex_);
  worker_ = std::this_thread::get_id();
  if (in_unit_) {
    in_unit_ = false;
    cv_.notify_all();
  }
  cv_.wait(lock, [this] { return stop_ || !paused_; });
  if (stop_) return false;
  in_unit_ = true;
  return true;
}

bool StopGate::Rest(uint32_t milliseconds) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    worker_ = std::this_thread::get_id();
    if (in_unit_) {
      in_unit_ = false;
      cv_.notify_all();
    }
    cv_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                 [this] { return stop_ || paused_; });
  }
  return Checkpoint();
}

void StopGate::EndUnit() {
  std::lock_guard<std::mutex> lock(mutex_);
  in_unit_ = false;
  cv_.notify_all();
}

}  // namespace kolvar::platform
