// Named shared-memory blocks over the platform's shared memory, and the scratch block finder.
#include "common/shared_block.h"

#include <climits>
#include <cstring>
#include <new>

#include "common/object_names.h"
#include "platform/kernel_objects.h"
#include "platform/process.h"

namespace kolvar {

SharedBlock::SharedBlock(std::u16string_view name, uint32_t size)
    : LockableObject(true, kLockMutex, name), name_(name), size_(size) {
  if (name.empty() || name.size() > kMaxNameLength || size == 0) {
    SetStatus(kStatusBadArgument);
    return;
  }
  if (!locking_on() || GetStatus() == kStatusNotReady) {
    // Without its mutex the block could not guard its copies against other programs.
    SetStatus(kStatusSharedBlockCreateFailed);
    return;
  }
  mapping_.reset(new (std::nothrow) platform::SharedMemory);
  bool existed = false;
  if (mapping_ == nullptr || !mapping_->Create(name_, size_, &existed) ||
      mapping_->data() == nullptr) {
    mapping_.reset();
    SetStatus(kStatusSharedBlockCreateFailed);
    return;
  }
  // The platform hands out a new block zero-filled. Zeroing it here again would race with a second
  // program that opens the block between our create and the fill, and wipe what it wrote.
  created_new_ = !existed;
  data_ = mapping_->data();
  ready_ = true;
  SetStatus(kStatusOk);
}

SharedBlock::~SharedBlock() {
  data_ = nullptr;
  ready_ = false;
  if (mapping_ != nullptr) mapping_->Close();
}

Status SharedBlock::CheckAccess(const void* buffer, uint32_t length) const {
  if (!ready_) return kStatusNotReady;
  if (buffer == nullptr && length > 0) return kStatusBadArgument;
  if (static_cast<uint64_t>(offset_) + length > size_) return kStatusSharedBlockOverrun;
  return kStatusOk;
}

bool SharedBlock::Write(const void* data, uint32_t length, bool already_locked) {
  if (!already_locked) Lock();
  Status status = CheckAccess(data, length);
  if (status == kStatusOk && length > 0) {
    std::memcpy(static_cast<char*>(data_) + offset_, data, length);
  }
  SetStatus(status);
  if (!already_locked) Unlock();
  return status == kStatusOk;
}

bool SharedBlock::Read(void* buffer, uint32_t length, bool already_locked) {
  if (!already_locked) Lock();
  Status status = CheckAccess(buffer, length);
  if (status == kStatusOk && length > 0) {
    std::memcpy(buffer, static_cast<const char*>(data_) + offset_, length);
  }
  SetStatus(status);
  if (!already_locked) Unlock();
  return status == kStatusOk;
}

std::unique_ptr<SharedBlock> ObtainScratchBlock(uint32_t size, Status* status) {
  const uint32_t pid = static_cast<uint32_t>(platform::CurrentProcessId());
  for (int32_t counter = 0; counter < INT32_MAX; ++counter) {
    std::unique_ptr<SharedBlock> block(new (std::nothrow)
                                           SharedBlock(ScratchBlockName(pid, counter), size));
    if (block == nullptr) {
      if (status != nullptr) *status = kStatusOutOfMemory;
      return nullptr;
    }
    if (!block->IsReady()) {
      // A block that cannot be made for this counter cannot be made for the next one either;
      // trying on would loop over every counter.
      if (status != nullptr) *status = block->GetStatus();
      return nullptr;
    }
    if (block->IsNew()) {
      if (status != nullptr) *status = kStatusOk;
      return block;
    }
  }
  if (status != nullptr) *status = kStatusSharedBlockCreateFailed;
  return nullptr;
}

}  // namespace kolvar
