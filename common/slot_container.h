// The base of RecordQueue and SortedTable: their slot array and the locked readers the two share
// (count, cursor, a record's size, the chunk arithmetic), each one call under the container's
// critical section, so that the two containers answer them alike.
#ifndef KOLVAR_COMMON_SLOT_CONTAINER_H_
#define KOLVAR_COMMON_SLOT_CONTAINER_H_

#include <cstdint>

#include "common/lockable_object.h"
#include "common/slot_array.h"

namespace kolvar {

template <typename Slot>
class SlotContainer : public LockableObject {
 public:
  uint32_t Count() {
    return WithLock([&] { return slots_.count(); });
  }
  uint32_t Cursor() {
    return WithLock([&] { return slots_.cursor(); });
  }
  // 48 beyond the last record (kAtCursor names none here), 49 when empty.
  bool SetCursor(uint32_t index) {
    return RunLocked([&] { return slots_.MoveCursor(index); });
  }
  // The record's size in bytes; 0 (status 48/49) when there is no such record.
  uint32_t SizeOf(uint32_t index = kAtCursor) {
    uint32_t size = 0;
    RunLocked([&] { return slots_.SizeAt(index, &size); });
    return size;
  }

  // Chunk arithmetic, for tests and diagnostics.
  uint32_t Capacity() {
    return WithLock([&] { return slots_.capacity(); });
  }
  uint32_t ChunkCount() {
    return WithLock([&] { return slots_.chunk_count(); });
  }
  uint32_t ChunkSize() const { return slots_.chunk_size(); }

 protected:
  SlotContainer(bool private_heap, uint32_t page_size, uint32_t nominal_slot_size)
      : LockableObject(true, kLockCriticalSection),
        slots_(private_heap, page_size, nominal_slot_size) {}

  SlotArray<Slot> slots_;
};

}  // namespace kolvar

#endif  // KOLVAR_COMMON_SLOT_CONTAINER_H_
