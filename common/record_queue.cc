// The record queue: appended copies, read and removed by index, in page-sized slot chunks.
#include "common/record_queue.h"

#include <algorithm>
#include <cstring>

namespace kolvar {

RecordQueue::RecordQueue(bool private_heap, uint32_t page_size)
    : LockableObject(true, kLockCriticalSection),
      slots_(private_heap, page_size, kNominalSlotSize) {
  SetStatus(slots_.SetUp());
}

RecordQueue::~RecordQueue() { TearDown(); }

void RecordQueue::TearDown() {
  slots_.TearDown([](BlockHeap& heap, Slot& slot) { heap.Free(slot.record); });
}

bool RecordQueue::Append(const void* record, uint32_t size) {
  return RunLocked([&]() -> Status {
    if (record == nullptr || size == 0) return kStatusBadArgument;
    const Status room = slots_.MakeRoom();
    if (room != kStatusOk) return room;
    void* copy = slots_.heap().Allocate(size, true);
    if (copy == nullptr) return kStatusOutOfMemory;
    std::memcpy(copy, record, size);
    slots_.Insert(slots_.count(), Slot{copy, size, 1});
    return kStatusOk;
  });
}

Status RecordQueue::DeleteLocked(uint32_t index) {
  uint32_t i = 0;
  const Status status = slots_.ResolveIndex(index, &i);
  if (status != kStatusOk) return status;
  slots_.heap().Free(slots_[i].record);
  slots_.Remove(i);
  return kStatusOk;
}

bool RecordQueue::Get(void* buffer, uint32_t buffer_size, bool remove, uint32_t index,
                      uint32_t* copied) {
  return RunLocked([&]() -> Status {
    uint32_t i = 0;
    uint32_t n = 0;
    Status status =
        buffer == nullptr && buffer_size > 0 ? kStatusBadArgument : slots_.ResolveIndex(index, &i);
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
    const Status status = slots_.ResolveIndex(index, &i);
    if (status == kStatusOk) size = slots_[i].size;
    return status;
  });
  return size;
}

bool RecordQueue::Delete(uint32_t index) {
  return RunLocked([&] { return DeleteLocked(index); });
}

uint32_t RecordQueue::Count() {
  return WithLock([&] { return slots_.count(); });
}

uint32_t RecordQueue::Cursor() {
  return WithLock([&] { return slots_.cursor(); });
}

bool RecordQueue::SetCursor(uint32_t index) {
  return RunLocked([&]() -> Status {
    uint32_t i = 0;
    const Status status =
        index == kAtCursor ? kStatusIndexOutOfRange : slots_.ResolveIndex(index, &i);
    if (status == kStatusOk) slots_.set_cursor(i);
    return status;
  });
}

bool RecordQueue::Clear() {
  return RunLocked([&] {
    TearDown();
    return slots_.SetUp();
  });
}

uint32_t RecordQueue::Capacity() {
  return WithLock([&] { return slots_.capacity(); });
}

uint32_t RecordQueue::ChunkCount() {
  return WithLock([&] { return slots_.chunk_count(); });
}

}  // namespace kolvar
