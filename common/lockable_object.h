// The base of every common-library object: an optional lock (an in-process recursive lock, or a
// mutex that is named "_@" + name + "@_" when a name is given and then shared by every program
// that builds the same name), and the status of the object's last operation together with the
// platform error seen at that moment. Every public library operation follows one pattern: Lock,
// work, SetStatus, Unlock, return true exactly when the status is 0.
#ifndef KOLVAR_COMMON_LOCKABLE_OBJECT_H_
#define KOLVAR_COMMON_LOCKABLE_OBJECT_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "common/status.h"

namespace kolvar {

namespace platform {
class Mutex;
}  // namespace platform

// Lock kinds: 1 is the in-process lock; any other value a (possibly named) mutex.
inline constexpr int kLockCriticalSection = 1;
inline constexpr int kLockMutex = 2;

class LockableObject {
 public:
  // With a non-empty name the lock (when it is a mutex) is the named mutex LockName(name).
  LockableObject(bool locking_on, int lock_kind, std::u16string_view name = {});
  virtual ~LockableObject();
  LockableObject(const LockableObject&) = delete;
  LockableObject& operator=(const LockableObject&) = delete;

  // Waits without time-out. A named mutex left by a program that ended while holding it counts as
  // acquired. Both nest on the owning thread; each Lock needs one Unlock.
  void Lock();
  void Unlock();

  // Code 0 clears the platform's last error and records 0 in both fields; any other code records
  // the code and the platform's current last error.
  void SetStatus(Status code);
  Status GetStatus(uint32_t* system_error = nullptr) const;

  // Only while the lock is not held and when the value changes: on creates the lock, off removes
  // it. Used by owners that serialise every access to the object themselves.
  void SetLocking(bool on);

  bool locking_on() const { return locking_on_; }
  // True while some thread holds the lock through Lock.
  bool IsLocked() const { return lock_depth_.load() > 0; }
  int lock_kind() const { return lock_kind_; }
  // The built mutex name ("_@" + name + "@_"), empty for an unnamed object.
  const std::u16string& mutex_name() const { return mutex_name_; }

  // Runs `work` under the lock and returns what it returns, recording no status: for getters and
  // setters that cannot fail, and for a caller that makes several operations of the object one
  // step (a load and the repair of what it found).
  template <typename Work>
  auto WithLock(Work work) {
    Lock();
    const struct Unlocker {
      LockableObject* object;
      ~Unlocker() { object->Unlock(); }
    } unlocker{this};
    return work();
  }

 protected:
  // The pattern of every public operation: Lock, run the work (which returns the operation's
  // status), SetStatus, Unlock; true exactly when the status is 0.
  // Operations that answer with something other than their success (a size, a count, a block)
  // keep that answer in a variable of their own that the work fills.
  template <typename Work>
  bool RunLocked(Work work) {
    Lock();
    const Status status = work();
    SetStatus(status);
    Unlock();
    return status == kStatusOk;
  }

 private:
  bool CreateLock();
  void DestroyLock();

  int lock_kind_;
  bool locking_on_;
  std::unique_ptr<platform::Mutex> mutex_;
  std::atomic<int> lock_depth_{0};
  std::atomic<uint32_t> last_system_error_{0};
  std::atomic<Status> last_status_{kStatusOk};
  std::unique_ptr<std::recursive_mutex> critical_section_;
  std::u16string mutex_name_;
};

}  // namespace kolvar

#endif  // KOLVAR_COMMON_LOCKABLE_OBJECT_H_
