// Events: one 32-bit word, bit 0 the signalled state and bits 1-31 a generation that every Set
// advances, waited on with futex against an absolute CLOCK_MONOTONIC deadline. A waiter holds no
// state in the word, so one killed while waiting cannot hold up anyone (unlike a condition
// variable in shared memory). Set wakes every waiter; for auto reset they race to clear the bit and
// exactly one wins. A Reset that clears the bit wakes them too, for watchers (EventWatch) that
// sleep on several words with futex_waitv; a waiter in Wait looks and sleeps again. A manual-reset
// waiter that slept through a Set followed by a Reset still counts as released, as the device
// releases every thread waiting at the moment of the Set.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>

#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "platform/kernel_objects_internal.h"

namespace kolvar::platform {
namespace {

using kobj::SharedObject;

constexpr uint32_t kSignalled = 1;
constexpr uint32_t kGenerationStep = 2;

uint32_t* WordOf(SharedObject& object) { return static_cast<uint32_t*>(object.view); }

std::atomic_ref<uint32_t> Word(SharedObject& object) {
  return std::atomic_ref<uint32_t>(*WordOf(object));
}

int PrivateFlag(const SharedObject& object) { return object.named ? 0 : FUTEX_PRIVATE_FLAG; }

// Sleeps while the word still equals `seen`; FUTEX_WAIT_BITSET takes an absolute deadline on
// CLOCK_MONOTONIC (no FUTEX_CLOCK_REALTIME). False once the deadline has passed.
bool FutexWait(SharedObject& object, uint32_t seen, const timespec* deadline) {
  const long rc = syscall(SYS_futex, WordOf(object), FUTEX_WAIT_BITSET | PrivateFlag(object), seen,
                          deadline, nullptr, FUTEX_BITSET_MATCH_ANY);
  return rc == 0 || errno != ETIMEDOUT;
}

void FutexWakeAll(SharedObject& object) {
  syscall(SYS_futex, WordOf(object), FUTEX_WAKE | PrivateFlag(object), INT_MAX, nullptr, nullptr,
          0);
}

bool Generation(uint32_t word, uint32_t* generation) {
  *generation = word >> 1;
  return (word & kSignalled) != 0;
}

// One look at the word: true when this waiter is released (and, for auto reset, has consumed the
// signal).
bool TryConsume(SharedObject& object, bool manual_reset, uint32_t start_generation,
                uint32_t* seen) {
  auto word = Word(object);
  uint32_t value = word.load(std::memory_order_acquire);
  for (;;) {
    uint32_t generation;
    const bool signalled = Generation(value, &generation);
    if (!signalled) {
      *seen = value;
      return manual_reset && generation != start_generation;
    }
    if (manual_reset) return true;
    if (word.compare_exchange_weak(value, value & ~kSignalled, std::memory_order_acq_rel,
                                   std::memory_order_acquire)) {
      return true;
    }
  }
}

}  // namespace

struct Event::State {
  std::shared_ptr<SharedObject> object;
  uint32_t id = 0;
};

Event::Event() = default;
Event::~Event() { Close(); }

bool Event::Create(std::u16string_view name, bool manual_reset, bool initial_state,
                   bool* already_existed) {
  Close();
  kobj::ObjectRequest request;
  request.kind = kobj::ObjectKind::kEvent;
  request.create = true;
  request.flags = manual_reset ? kobj::kFlagManualReset : 0;
  request.size = sizeof(uint32_t);
  request.initialise = [initial_state](SharedObject& object) {
    Word(object).store(initial_state ? kSignalled : 0, std::memory_order_release);
    return true;
  };
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

bool Event::Open(std::u16string_view name) {
  Close();
  kobj::ObjectRequest request;
  request.kind = kobj::ObjectKind::kEvent;
  request.size = sizeof(uint32_t);
  auto object = kobj::AcquireObject(name, request, nullptr);
  if (!object) return false;
  state_ = std::make_unique<State>();
  state_->object = std::move(object);
  state_->id = kobj::NextHandleId();
  SetLastError(kErrorSuccess);
  return true;
}

bool Event::Set() {
  if (!state_) return Fail(kErrorInvalidHandle);
  SharedObject& object = *state_->object;
  auto word = Word(object);
  uint32_t value = word.load(std::memory_order_relaxed);
  while (!word.compare_exchange_weak(value, (value + kGenerationStep) | kSignalled,
                                     std::memory_order_acq_rel, std::memory_order_relaxed)) {
  }
  FutexWakeAll(object);
  return true;
}

bool Event::Reset() {
  if (!state_) return Fail(kErrorInvalidHandle);
  SharedObject& object = *state_->object;
  // A reset is news to a watcher (a mailbox free again); waiters in Wait look and sleep on.
  if ((Word(object).fetch_and(~kSignalled, std::memory_order_acq_rel) & kSignalled) != 0) {
    FutexWakeAll(object);
  }
  return true;
}

WaitResult Event::Wait(uint32_t timeout_ms) {
  if (!state_) return Fail(kErrorInvalidHandle), WaitResult::kFailed;
  SharedObject& object = *state_->object;
  const bool manual_reset = (object.flags & kobj::kFlagManualReset) != 0;
  uint32_t start_generation;
  Generation(Word(object).load(std::memory_order_acquire), &start_generation);
  uint32_t seen = 0;
  if (TryConsume(object, manual_reset, start_generation, &seen)) return WaitResult::kSignaled;
  if (timeout_ms == 0) return WaitResult::kTimeout;
  timespec deadline{};
  if (timeout_ms != kInfinite) deadline = kobj::DeadlineAfter(timeout_ms);
  for (;;) {
    const bool in_time = FutexWait(object, seen, timeout_ms == kInfinite ? nullptr : &deadline);
    if (TryConsume(object, manual_reset, start_generation, &seen)) return WaitResult::kSignaled;
    if (!in_time) return WaitResult::kTimeout;
  }
}

EventWatch::EventWatch() = default;
EventWatch::~EventWatch() = default;

bool EventWatch::Add(Event& event) {
  if (!event.state_) return false;
  SharedObject& object = *event.state_->object;
  const uint32_t seen = Word(object).load(std::memory_order_acquire);
  watched_.push_back({WordOf(object), seen, object.named});
  return (seen & kSignalled) != 0;
}

void EventWatch::Clear() { watched_.clear(); }

void EventWatch::Wait(uint32_t timeout_ms) {
  const auto changed = [this] {
    for (const Watched& w : watched_) {
      if (std::atomic_ref<uint32_t>(*static_cast<uint32_t*>(w.word))
              .load(std::memory_order_acquire) != w.seen) {
        return true;
      }
    }
    return false;
  };
  if (timeout_ms == 0 || changed()) return;
  const timespec deadline = kobj::DeadlineAfter(timeout_ms == kInfinite ? 0 : timeout_ms);
  const timespec* limit = timeout_ms == kInfinite ? nullptr : &deadline;
#ifdef SYS_futex_waitv
  // Kernels before 5.16 lack the call, and a sandbox's system-call filter may refuse it (EPERM):
  // either way this process looks every few milliseconds instead, rather than spin.
  static std::atomic<bool> vector_wait_refused{false};
  if (!vector_wait_refused.load(std::memory_order_relaxed) && !watched_.empty() &&
      watched_.size() <= FUTEX_WAITV_MAX) {
    futex_waitv waiters[FUTEX_WAITV_MAX] = {};
    for (size_t i = 0; i < watched_.size(); ++i) {
      waiters[i].val = watched_[i].seen;
      waiters[i].uaddr = reinterpret_cast<uintptr_t>(watched_[i].word);
      waiters[i].flags = FUTEX_32 | (watched_[i].shared ? 0 : FUTEX_PRIVATE_FLAG);
    }
    // Returns at a wake of any word, at once when one already differs, or at the deadline; an
    // interruption is an early wake, which the caller allows for.
    if (syscall(SYS_futex_waitv, waiters, watched_.size(), 0, limit, CLOCK_MONOTONIC) >= 0 ||
        errno == EAGAIN || errno == ETIMEDOUT || errno == EINTR) {
      return;
    }
    vector_wait_refused.store(true, std::memory_order_relaxed);
  }
#endif
  constexpr uint32_t kLookMs = 2;
  for (uint32_t slept = 0; timeout_ms == kInfinite || slept < timeout_ms; slept += kLookMs) {
    timespec step{0, kLookMs * 1000000L};
    nanosleep(&step, nullptr);
    if (changed()) return;
  }
}

void Event::Close() {
  if (!state_) return;
  kobj::ReleaseObject(std::move(state_->object));
  state_.reset();
}

bool Event::IsValid() const { return state_ != nullptr; }

uint32_t Event::Id() const { return state_ ? state_->id : 0; }

}  // namespace kolvar::platform
