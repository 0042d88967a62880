// The record queue: appended copies, read and removed by index, in page-sized slot chunks.
#include "common/record_queue.h"

#include <algorithm>
#include <cstring>

namespace kolvar {

RecordQueue::RecordQueue(bool private_heap, uint32_t page_size)
    : SlotContainer(private_heap, page_size, kNominalSlotSize) {
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
  return RunLocked([&] {
    return slots_.GetRecord(buffer, buffer_size, remove, index, copied,
                            [this](uint32_t i) { return DeleteLocked(i); });
  });
}

bool RecordQueue::Delete(uint32_t index) {
  return RunLocked([&] { return DeleteLocked(index); });
}

bool RecordQueue::Clear() {
  return RunLocked([&] {
    TearDown();
    return slots_.SetUp();
  });
}

}  // namespace kolvar
