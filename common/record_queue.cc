// The record queue: appended copies, read and removed by index, in page-sized slot chunks.
#include "common/record_queue.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/memory_page.h"

namespace kolvar {

RecordQueue::RecordQueue(bool private_heap, uint32_t page_size)
    : LockableObject(true, kLockCriticalSection),
      page_size_(page_size != 0 ? page_size : platform::MemoryPageSize()),
      chunk_size_(std::max<uint32_t>(page_size_ / kNominalSlotSize, 2)),
      private_heap_(private_heap) {
  SetStatus(SetUp());
}

RecordQueue::~RecordQueue() { TearDown(); }

Status RecordQueue::SetUp() {
  heap_.reset(new (std::nothrow) BlockHeap(private_heap_));
  if (heap_ == nullptr) return kStatusHeapCreationFailed;
  slots_ = static_cast<Slot*>(heap_->Allocate(sizeof(Slot) * chunk_size_, true));
  if (slots_ == nullptr) return kStatusSlotArrayAllocationFailed;
  chunk_count_ = 1;
  capacity_ = chunk_size_;
  cursor_ = 0;
  count_ = 0;
  return kStatusOk;
}

void RecordQueue::TearDown() {
  if (heap_ != nullptr) {
    for (uint32_t i = 0; i < count_; ++i) heap_->Free(slots_[i].record);
    heap_->Free(slots_);
  }
  heap_.reset();
  slots_ = nullptr;
  chunk_count_ = 0;
  capacity_ = 0;
  cursor_ = 0;
  count_ = 0;
}

Status RecordQueue::ResolveIndex(uint32_t index, uint32_t* resolved) const {
  if (count_ == 0) return kStatusTableEmpty;
  const uint32_t i = index == kAtCursor ? cursor_ : index;
  if (i >= count_) return kStatusIndexOutOfRange;
  *resolved = i;
  return kStatusOk;
}

bool RecordQueue::Append(const void* record, uint32_t size) {
  return RunLocked([&]() -> Status {
    if (record == nullptr || size == 0) return kStatusBadArgument;
    if (slots_ == nullptr) return kStatusSlotArrayAllocationFailed;
    if (count_ >= capacity_ - 1) {
      void* grown = heap_->Reallocate(
          slots_, sizeof(Slot) * (static_cast<size_t>(capacity_) + chunk_size_), true);
      if (grown == nullptr) return kStatusOutOfMemory;
      slots_ = static_cast<Slot*>(grown);
      ++chunk_count_;
      capacity_ += chunk_size_;
    }
    void* copy = heap_->Allocate(size, true);
    if (copy == nullptr) return kStatusOutOfMemory;
    std::memcpy(copy, record, size);
    slots_[count_] = Slot{copy, size, 1};
    cursor_ = count_;
    ++count_;
    return kStatusOk;
  });
}

Status RecordQueue::DeleteLocked(uint32_t index) {
  uint32_t i = 0;
  const Status status = ResolveIndex(index, &i);
  if (status != kStatusOk) return status;
  heap_->Free(slots_[i].record);
  std::memmove(slots_ + i, slots_ + i + 1, sizeof(Slot) * (count_ - i - 1));
  --count_;
  slots_[count_] = Slot{};
  if (cursor_ >= count_) cursor_ = count_ > 0 ? count_ - 1 : 0;
  const int64_t threshold = static_cast<int64_t>(chunk_count_ - 1) * chunk_size_ - 5;
  if (chunk_count_ > 1 && static_cast<int64_t>(count_) < threshold) {
    void* shrunk = heap_->Reallocate(
        slots_, sizeof(Slot) * (static_cast<size_t>(capacity_) - chunk_size_), false);
    // A failed shrink keeps the larger array, which still holds every slot.
    if (shrunk != nullptr) {
      slots_ = static_cast<Slot*>(shrunk);
      --chunk_count_;
      capacity_ -= chunk_size_;
    }
  }
  return kStatusOk;
}

bool RecordQueue::Get(void* buffer, uint32_t buffer_size, bool remove, uint32_t index,
                      uint32_t* copied) {
  return RunLocked([&]() -> Status {
    uint32_t i = 0;
    uint32_t n = 0;
    Status status =
        buffer == nullptr && buffer_size > 0 ? kStatusBadArgument : ResolveIndex(index, &i);
    if (status == kStatusOk) {
      n = std::min(buffer_size, slots_[i].size);
      if (buffer_size > 0) std::memset(buffer, 0, buffer_size);
      if (n > 0) std::memcpy(buffer, slots_[i].record, n);
      if (remove) status = DeleteLocked(i);
    }
    if (copied != nullptr) *copied = n;
    return status;
  });
}

uint32_t RecordQueue::SizeOf(uint32_t index) {
  uint32_t size = 0;
  RunLocked([&]() -> Status {
    uint32_t i = 0;
    const Status status = ResolveIndex(index, &i);
    if (status == kStatusOk) size = slots_[i].size;
    return status;
  });
  return size;
}

bool RecordQueue::Delete(uint32_t index) {
  return RunLocked([&] { return DeleteLocked(index); });
}

uint32_t RecordQueue::Count() {
  Lock();
  const uint32_t count = count_;
  Unlock();
  return count;
}

uint32_t RecordQueue::Cursor() {
  Lock();
  const uint32_t cursor = cursor_;
  Unlock();
  return cursor;
}

bool RecordQueue::SetCursor(uint32_t index) {
  return RunLocked([&]() -> Status {
    uint32_t i = 0;
    const Status status = index == kAtCursor ? kStatusIndexOutOfRange : ResolveIndex(index, &i);
    if (status == kStatusOk) cursor_ = i;
    return status;
  });
}

bool RecordQueue::Clear() {
  return RunLocked([&] {
    TearDown();
    return SetUp();
  });
}

uint32_t RecordQueue::Capacity() {
  Lock();
  const uint32_t capacity = capacity_;
  Unlock();
  return capacity;
}

uint32_t RecordQueue::ChunkCount() {
  Lock();
  const uint32_t chunks = chunk_count_;
  Unlock();
  return chunks;
}

}  // namespace kolvar
