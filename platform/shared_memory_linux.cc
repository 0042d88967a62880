// Shared memory: the object's file holds exactly the block's bytes and every holder maps it
// shared; its kind and size are kept in the companion record. The block goes with its last holder,
// so the next create starts from zeros again. An unnamed block is private anonymous memory.
#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "platform/kernel_objects_internal.h"

namespace kolvar::platform {

struct SharedMemory::State {
  std::shared_ptr<kobj::SharedObject> object;
  size_t size = 0;  // as this handle asked for it
  uint32_t id = 0;
};

SharedMemory::SharedMemory() = default;
SharedMemory::~SharedMemory() { Close(); }

bool SharedMemory::Create(std::u16string_view name, size_t size, bool* already_existed) {
  Close();
  if (size == 0) return Fail(kErrorInvalidParameter);
  kobj::ObjectRequest request;
  request.kind = kobj::ObjectKind::kSharedMemory;
  request.create = true;
  request.size = size;
  bool existed = false;
  auto object = kobj::AcquireObject(name, request, &existed);
  if (!object) return false;
  state_ = std::make_unique<State>();
  state_->object = std::move(object);
  state_->size = size;
  state_->id = kobj::NextHandleId();
  if (already_existed) *already_existed = existed;
  SetLastError(existed ? kErrorAlreadyExists : kErrorSuccess);
  return true;
}

bool SharedMemory::Open(std::u16string_view name, size_t size) {
  Close();
  kobj::ObjectRequest request;
  request.kind = kobj::ObjectKind::kSharedMemory;
  request.size = size;
  auto object = kobj::AcquireObject(name, request, nullptr);
  if (!object) return false;
  state_ = std::make_unique<State>();
  state_->size = size != 0 ? size : static_cast<size_t>(object->size);
  state_->object = std::move(object);
  state_->id = kobj::NextHandleId();
  SetLastError(kErrorSuccess);
  return true;
}

void SharedMemory::Close() {
  if (!state_) return;
  kobj::ReleaseObject(std::move(state_->object));
  state_.reset();
}

bool SharedMemory::IsValid() const { return state_ != nullptr; }

void* SharedMemory::data() const { return state_ ? state_->object->view : nullptr; }

size_t SharedMemory::size() const { return state_ ? state_->size : 0; }

uint32_t SharedMemory::Id() const { return state_ ? state_->id : 0; }

}  // namespace kolvar::platform
