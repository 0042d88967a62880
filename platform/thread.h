// Thread helpers: sleeping, thread priorities, and the cooperative stop flag and pause gate that
// stand in for the device's "terminate/suspend a thread where it stands".
#ifndef KOLVAR_PLATFORM_THREAD_H_
#define KOLVAR_PLATFORM_THREAD_H_

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace kolvar::platform {

void Sleep(uint32_t milliseconds);
// Milliseconds since an arbitrary start, monotonic (the device's tick count).
uint32_t TickCount();

enum class ThreadPriority {
  kIdle,         // SCHED_IDLE
  kBelowNormal,  // nice +5
  kNormal,
  kHighest,  // the best that RLIMIT_NICE allows; never fails for lack of it
};
// Sets the calling thread's priority. Lowering is one-way without RLIMIT_NICE, so only threads
// that end with their work should be lowered.
bool SetCurrentThreadPriority(ThreadPriority priority);

// A stop flag and a pause gate that a worker thread tests before every unit of work. After
// RequestStop or Pause returns, a worker that calls Checkpoint before each unit does no further
// unit (Pause waits until the worker is parked at the gate or between units).
class StopGate {
 public:
  // Called by the controller. Pause blocks until the worker is held at a checkpoint or outside
  // any unit of work (see BeginUnit/EndUnit).
  void RequestStop();
  void Pause();
  void Resume();
  void Reset();  // clears stop and pause for a new run
  bool StopRequested() const;
  bool IsPaused() const;

  // Called by the worker before each unit of work: blocks while paused, returns false when stop
  // was requested. A true return means the worker may do exactly one unit.
  bool Checkpoint();
  // Called by the worker when its current unit of work is done and when it is about to end, so
  // that Pause and RequestStop know nothing is in progress.
  void EndUnit();

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool stop_ = false;
  bool paused_ = false;
  bool in_unit_ = false;
};

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_THREAD_H_
