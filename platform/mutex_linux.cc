// Mutexes: a robust pthread mutex, process-shared when named and then living in the object's
// file. Ownership and recursion are kept per process beside the mapping, since only the owning
// thread's own process ever asks "do I own it?". A process or thread that ends while owning leaves
// the mutex marked by the kernel; the next owner makes it consistent and hears kAbandoned.
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>

#if defined(__SANITIZE_THREAD__)
#define KOLVAR_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KOLVAR_THREAD_SANITIZER 1
#endif
#endif
#ifdef KOLVAR_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "platform/kernel_objects_internal.h"

namespace kolvar::platform {
namespace {

using kobj::SharedObject;

pthread_mutex_t* MutexOf(SharedObject& object) {
  return static_cast<pthread_mutex_t*>(object.view);
}

bool ThreadAlive(pid_t tid) { return syscall(SYS_tgkill, getpid(), tid, 0) == 0 || errno != ESRCH; }

// The last handle of this process is closing. A mutex owned by the closing thread is given up, as
// nobody here could release it any more. One owned by another live thread of this process must
// stay mapped: the thread's robust list links through it, and the kernel marks it abandoned from
// there when that thread ends.
bool KeepOnLastClose(SharedObject& object) {
  const pid_t owner = object.owner.load(std::memory_order_relaxed);
  if (owner == 0) return false;
  if (owner == kobj::CurrentThreadId()) {
    object.recursion = 0;
    object.owner.store(0, std::memory_order_relaxed);
    pthread_mutex_unlock(MutexOf(object));
    return false;
  }
  return ThreadAlive(owner);
}

bool InitialiseMutex(SharedObject& object, bool process_shared, bool initially_owned) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_setpshared(&attr,
                               process_shared ? PTHREAD_PROCESS_SHARED : PTHREAD_PROCESS_PRIVATE);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_NONE);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_NORMAL);
  const int rc = pthread_mutex_init(MutexOf(object), &attr);
  pthread_mutexattr_destroy(&attr);
  if (rc != 0) return FailWithErrno(rc);
  // Taken before the object is visible to anyone, so that creation and ownership are one step.
  if (initially_owned) {
    if (const int lock_rc = pthread_mutex_trylock(MutexOf(object)); lock_rc != 0)
      return FailWithErrno(lock_rc);
    object.owner.store(kobj::CurrentThreadId(), std::memory_order_relaxed);
    object.recursion = 1;
  }
  return true;
}

// A wait with a deadline on the monotonic clock, so that a change of the wall clock neither cuts
// nor stretches it.
int ClockLock(pthread_mutex_t* mutex, const timespec& deadline) {
#ifdef KOLVAR_THREAD_SANITIZER
  // The thread sanitizer's runtime does not wrap pthread_mutex_clocklock: it would take the mutex
  // as never locked, report its release as a fault and miss the order the lock gives. Its wrapped
  // calls make the same wait in its sight: the try-lock first (which also mends its record of a
  // mutex left by an ended thread of this process), then the wall-clock wait for what is left.
  if (const int rc = pthread_mutex_trylock(mutex); rc != EBUSY) return rc;
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  int64_t left_ns = (static_cast<int64_t>(deadline.tv_sec) - now.tv_sec) * 1000000000LL +
                    (deadline.tv_nsec - now.tv_nsec);
  if (left_ns <= 0) return ETIMEDOUT;
  timespec wall;
  clock_gettime(CLOCK_REALTIME, &wall);
  left_ns += wall.tv_nsec;
  wall.tv_sec += static_cast<time_t>(left_ns / 1000000000LL);
  wall.tv_nsec = static_cast<long>(left_ns % 1000000000LL);
  const int rc = pthread_mutex_timedlock(mutex, &wall);
  // Its wrapper tells only a plain success; an owner that ended during the wait was another
  // process's (or the try-lock would have met it), so the lock is new to the runtime.
  if (rc == EOWNERDEAD) {
    __tsan_mutex_pre_lock(mutex, __tsan_mutex_try_lock);
    __tsan_mutex_post_lock(mutex, __tsan_mutex_try_lock, 0);
  }
  return rc;
#else
  return pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, &deadline);
#endif
}

int LockWithTimeout(pthread_mutex_t* mutex, uint32_t timeout_ms) {
  if (timeout_ms == kInfinite) return pthread_mutex_lock(mutex);
  if (timeout_ms == 0) return pthread_mutex_trylock(mutex);
  return ClockLock(mutex, kobj::DeadlineAfter(timeout_ms));
}

}  // namespace

struct Mutex::State {
  std::shared_ptr<SharedObject> object;
  uint32_t id = 0;
};

Mutex::Mutex() = default;
Mutex::~Mutex() { Close(); }

bool Mutex::Create(std::u16string_view name, bool initially_owned, bool* already_existed) {
  Close();
  kobj::ObjectRequest request;
  request.kind = kobj::ObjectKind::kMutex;
  request.create = true;
  request.size = sizeof(pthread_mutex_t);
  const bool process_shared = !name.empty();
  request.initialise = [process_shared, initially_owned](SharedObject& object) {
    return InitialiseMutex(object, process_shared, initially_owned);
  };
  request.keep_on_last_close = &KeepOnLastClose;
  bool existed = false;
  auto object = kobj::AcquireObject(name, request, &existed);
  if (!object) return false;
  state_ = std::make_unique<State>();
  state_->object = std::move(object);
  state_->id = kobj::NextHandleId();
  if (already_existed) *already_existed = existed;
  SetLastError(existed ? kErrorAlreadyExists : kErrorSuccess);
  return true;
}

bool Mutex::Open(std::u16string_view name) {
  Close();
  kobj::ObjectRequest request;
  request.kind = kobj::ObjectKind::kMutex;
  request.size = sizeof(pthread_mutex_t);
  request.keep_on_last_close = &KeepOnLastClose;
  auto object = kobj::AcquireObject(name, request, nullptr);
  if (!object) return false;
  state_ = std::make_unique<State>();
  state_->object = std::move(object);
  state_->id = kobj::NextHandleId();
  SetLastError(kErrorSuccess);
  return true;
}

WaitResult Mutex::Wait(uint32_t timeout_ms) {
  if (!state_) return Fail(kErrorInvalidHandle), WaitResult::kFailed;
  SharedObject& object = *state_->object;
  const pid_t self = kobj::CurrentThreadId();
  if (object.owner.load(std::memory_order_relaxed) == self) {
    if (object.recursion == UINT32_MAX) return Fail(kErrorInvalidParameter), WaitResult::kFailed;
    ++object.recursion;
    return WaitResult::kSignaled;
  }
  const int rc = LockWithTimeout(MutexOf(object), timeout_ms);
  switch (rc) {
    case 0:
    case EOWNERDEAD:
      if (rc == EOWNERDEAD) pthread_mutex_consistent(MutexOf(object));
      object.owner.store(self, std::memory_order_relaxed);
      object.recursion = 1;
      return rc == 0 ? WaitResult::kSignaled : WaitResult::kAbandoned;
    case EBUSY:
    case ETIMEDOUT:
      return WaitResult::kTimeout;
    default:
      FailWithErrno(rc);
      return WaitResult::kFailed;
  }
}

bool Mutex::Release() {
  if (!state_) return Fail(kErrorInvalidHandle);
  SharedObject& object = *state_->object;
  if (object.owner.load(std::memory_order_relaxed) != kobj::CurrentThreadId())
    return Fail(kErrorNotOwner);
  if (--object.recursion > 0) return true;
  object.owner.store(0, std::memory_order_relaxed);
  if (const int rc = pthread_mutex_unlock(MutexOf(object)); rc != 0) return FailWithErrno(rc);
  return true;
}

void Mutex::Close() {
  if (!state_) return;
  kobj::ReleaseObject(std::move(state_->object));
  state_.reset();
}

bool Mutex::IsValid() const { return state_ != nullptr; }

uint32_t Mutex::Id() const { return state_ ? state_->id : 0; }

}  // namespace kolvar::platform
