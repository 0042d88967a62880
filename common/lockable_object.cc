// The lockable base: lock creation and removal, nesting bookkeeping, and status recording.
#include "common/lockable_object.h"

#include <new>

#include "common/object_names.h"
#include "platform/error.h"
#include "platform/kernel_objects.h"

namespace kolvar {

LockableObject::LockableObject(bool locking_on, int lock_kind, std::u16string_view name)
    : lock_kind_(lock_kind), locking_on_(false) {
  if (!name.empty()) mutex_name_ = LockName(name);
  if (locking_on) {
    locking_on_ = true;
    // An object whose lock cannot be made still works in one thread; it says so in its status so
    // that an owner relying on cross-program exclusion can refuse to go on.
    if (!CreateLock()) SetStatus(kStatusNotReady);
  }
}

LockableObject::~LockableObject() { DestroyLock(); }

bool LockableObject::CreateLock() {
  if (lock_kind_ == kLockCriticalSection) {
    critical_section_.reset(new (std::nothrow) std::recursive_mutex);
    return critical_section_ != nullptr;
  }
  mutex_.reset(new (std::nothrow) platform::Mutex);
  if (mutex_ == nullptr) return false;
  if (!mutex_->Create(mutex_name_)) {
    mutex_.reset();
    return false;
  }
  return true;
}

void LockableObject::DestroyLock() {
  critical_section_.reset();
  if (mutex_ != nullptr) {
    mutex_->Close();
    mutex_.reset();
  }
}

void LockableObject::Lock() {
  if (!locking_on_) return;
  if (critical_section_ != nullptr) {
    critical_section_->lock();
  } else if (mutex_ != nullptr) {
    // kAbandoned also means the mutex is ours: its former owner ended while holding it.
    mutex_->Wait(platform::kInfinite);
  }
  ++lock_depth_;
}

void LockableObject::Unlock() {
  if (!locking_on_) return;
  if (lock_depth_.load() > 0) --lock_depth_;
  if (critical_section_ != nullptr) {
    critical_section_->unlock();
  } else if (mutex_ != nullptr) {
    mutex_->Release();
  }
}

void LockableObject::SetStatus(Status code) {
  if (code == kStatusOk) {
    platform::SetLastError(platform::kErrorSuccess);
    last_system_error_ = 0;
  } else {
    last_system_error_ = platform::GetLastError();
  }
  last_status_ = code;
}

Status LockableObject::GetStatus(uint32_t* system_error) const {
  if (system_error != nullptr) *system_error = last_system_error_;
  return last_status_;
}

void LockableObject::SetLocking(bool on) {
  if (IsLocked() || on == locking_on_) return;
  if (on) {
    locking_on_ = true;
    if (!CreateLock()) SetStatus(kStatusNotReady);
  } else {
    DestroyLock();
    locking_on_ = false;
  }
}

}  // namespace kolvar
