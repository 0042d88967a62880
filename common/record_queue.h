// A growable array of records without keys: records are appended at the end and normally taken
// from index 0, which makes it a first-in-first-out queue (the IPC mailboxes' in-process queues and
// the service's transfer queue). The slot array grows and shrinks one page-sized chunk at a time.
#ifndef KOLVAR_COMMON_RECORD_QUEUE_H_
#define KOLVAR_COMMON_RECORD_QUEUE_H_

#include <cstdint>

#include "common/slot_container.h"

namespace kolvar {

// A slot of the queue (internal to RecordQueue).
struct RecordQueueSlot {
  void* record;
  uint32_t size;
  uint32_t used;
};

class RecordQueue : public SlotContainer<RecordQueueSlot> {
 public:
  // Nominal size of a slot (three 32-bit words): page size / 12 slots per chunk.
  static constexpr uint32_t kNominalSlotSize = 12;

  // page_size 0 takes the platform's memory page size. Status 41 / 26 as for SortedTable.
  explicit RecordQueue(bool private_heap = false, uint32_t page_size = 0);
  ~RecordQueue() override;

  // Copies the record to the end; it becomes the current one. 1 for a missing record or size 0,
  // 47 when memory runs out.
  bool Append(const void* record, uint32_t size);
  // Zero-fills the buffer and copies min(buffer_size, record size) bytes (*copied receives the
  // count); with remove, deletes the record afterwards. 49 when empty, 48 for an index >= count.
  bool Get(void* buffer, uint32_t buffer_size, bool remove = false, uint32_t index = kAtCursor,
           uint32_t* copied = nullptr);
  bool Delete(uint32_t index = kAtCursor);
  bool Clear();
  // Count, Cursor, SetCursor, SizeOf and the chunk arithmetic come from SlotContainer.

 private:
  using Slot = RecordQueueSlot;

  void TearDown();
  Status DeleteLocked(uint32_t index);
};

}  // namespace kolvar

#endif  // KOLVAR_COMMON_RECORD_QUEUE_H_
