// Thread helpers: sleeping, thread priorities, and the cooperative stop flag and pause gate that
// stand in for the device's "terminate/suspend a thread where it stands".
#ifndef KOLVAR_PLATFORM_THREAD_H_
#define KOLVAR_PLATFORM_THREAD_H_

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace kolvar::platform {

// Sleeps at least `milliseconds` (signals do not cut it short); 0 gives up the processor.
void Sleep(uint32_t milliseconds);
// Milliseconds since an arbitrary start, monotonic (the device's tick count).
uint32_t TickCount();

// Nice values are counted from the process's nice value at start ("normal").
enum class ThreadPriority {
  kIdle,         // SCHED_IDLE
  kBelowNormal,  // nice +5
  kNormal,
  kHighest,  // the best that RLIMIT_NICE allows; never fails for lack of it
};
// Sets the calling thread's priority. Lowering is one-way without RLIMIT_NICE, so only threads
// that end with their work should be lowered: raising a lowered thread fails with 5 there
// (kHighest then leaves the thread as it is and still succeeds).
bool SetCurrentThreadPriority(ThreadPriority priority);

// A stop flag and a pause gate that a worker thread tests before every unit of work (a directory
// entry, a chunk read, a message sent). The promise: once RequestStop or Pause has returned, the
// worker starts no further unit until Resume (and after a stop, never again until Reset).
//
// The worker loops `while (gate.Checkpoint()) { one unit; }` and calls EndUnit when it is done,
// before it waits for anything its controller must do, and before it ends. A Checkpoint also ends
// the unit before it. The controller's Pause and RequestStop wait until no unit is in progress:
// the worker is parked in Checkpoint, or between units, or not yet started, or ended. So the
// controller must not hold anything that the worker's unit needs while it calls them (SignalStop
// is the form that does not wait). Called from the worker thread itself, Pause and RequestStop
// only set their flag, and the worker parks or stops at its next Checkpoint.
class StopGate {
 public:
  // Called by the controller.
  void RequestStop();  // sets stop, wakes a parked worker, waits until no unit is in progress
  void SignalStop();   // sets stop and wakes a parked worker, without waiting
  void Pause();        // closes the gate, waits until no unit is in progress
  void Resume();       // opens the gate and releases a parked worker
  void Reset();        // clears stop and pause for a new run (with no worker running)
  bool StopRequested() const;
  bool IsPaused() const;

  // Called by the worker before each unit of work: blocks while paused, returns false when stop
  // was requested. A true return means the worker may do exactly one unit.
  bool Checkpoint();
  // Called by the worker between units: ends the unit before it and rests up to `milliseconds`,
  // less when a stop or a pause is asked for, then acts as Checkpoint.
  bool Rest(uint32_t milliseconds);
  // Called by the worker when its current unit of work is done, before it waits for its
  // controller, and when it is about to end, so that Pause and RequestStop know nothing is in
  // progress.
  void EndUnit();

 private:
  bool CalledByWorker() const { return worker_ == std::this_thread::get_id(); }

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool stop_ = false;
  bool paused_ = false;
  bool in_unit_ = false;
  std::thread::id worker_;  // the thread that last passed a Checkpoint
};

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_THREAD_H_
