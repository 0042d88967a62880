// A growable array of records, each with a fixed-length key, kept in key order. Records and keys
// are copied into blocks of the table's heap (a private one when asked, so that Clear releases
// everything at once); the slot array that points at them grows and shrinks one page-sized chunk at
// a time, so sorting and deleting move only small slots.
#ifndef KOLVAR_COMMON_SORTED_TABLE_H_
#define KOLVAR_COMMON_SORTED_TABLE_H_

#include <cstdint>

#include "common/key_comparison.h"
#include "common/slot_container.h"

namespace kolvar {

enum class SortOrder { kAscending = 1, kDescending = 2 };

// A slot of the table (internal to SortedTable).
struct SortedTableSlot {
  void* record;
  void* key;
  uint32_t size;
  uint32_t used;
};

class SortedTable : public SlotContainer<SortedTableSlot> {
 public:
  // Nominal size of a slot (five 32-bit words): the chunk arithmetic counts page size / 20 slots
  // per chunk, whatever a slot occupies in this process.
  static constexpr uint32_t kNominalSlotSize = 20;

  // page_size 0 takes the platform's memory page size; tests pass 4096 to pin the arithmetic.
  // Status 41 when the private heap cannot be set up, 26 when the slot array cannot be allocated.
  explicit SortedTable(uint32_t key_length, bool private_heap = false, uint32_t page_size = 0);
  ~SortedTable() override;

  // Copies the record (size bytes) and the key (key_length bytes) into the table; the new record
  // becomes the current one. Status 1 for a missing record, size 0 or a missing key; 44 when the
  // key length is 0; 45 for a duplicate key in a unique table; 47 when memory runs out. Unless
  // no_sort, the table is sorted again.
  bool Add(const void* record, uint32_t size, const void* key, bool no_sort = false);
  // Zero-fills the buffer and copies min(buffer_size, record size) bytes; *copied (when given)
  // receives that count. With remove, deletes the record afterwards. 49 when empty, 48 for an
  // index >= count, 1 for a missing buffer.
  bool Get(void* buffer, uint32_t buffer_size, bool remove = false, uint32_t index = kAtCursor,
           uint32_t* copied = nullptr);
  // Replaces the record's bytes. 1 for a missing record or size 0, 48/49 as Get, 47 without memory.
  bool Update(const void* record, uint32_t size, uint32_t index = kAtCursor);
  // Removes the record; the cursor is clamped to the last record. 48/49 as Get.
  bool Delete(uint32_t index = kAtCursor);
  // Binary search with the search comparison; moves the cursor to the record found. 49 when
  // empty, 50 when not found (the cursor then stays where it was). 1 for a missing key.
  bool Find(const void* key);

  // Count, Cursor, SetCursor, SizeOf and the chunk arithmetic come from SlotContainer.
  // Copies min(buffer_size, key length) bytes of the record's key. 1 for a missing buffer.
  bool GetKey(void* buffer, uint32_t buffer_size, uint32_t index = kAtCursor);

  // Sorts the records by key with the sort comparison (negated when descending). The cursor stays
  // on its record.
  bool Sort();
  // Only while empty: 44 for length 0, 3 when the table holds records.
  bool SetKeyLength(uint32_t key_length);
  uint32_t KeyLength() const { return key_length_; }
  void SetUnique(bool unique);
  void SetOrder(SortOrder order);
  // Null restores the byte comparison.
  void SetSortComparison(KeyComparison comparison);
  void SetSearchComparison(KeyComparison comparison);

  // Empties `other`, gives it this key length, adds every record without sorting and sorts once.
  // 49 when this table is empty; 1 for a missing or identical table; other's status on failure.
  bool CopyTo(SortedTable* other);
  // Frees every record, key and the slot array and sets the table up again, empty.
  bool Clear();

 private:
  using Slot = SortedTableSlot;

  Status SetUp();
  void TearDown();
  Status AddLocked(const void* record, uint32_t size, const void* key, bool no_sort);
  Status DeleteLocked(uint32_t index);
  bool KeyExists(const void* key) const;
  void SortLocked();
  int CompareForSort(const void* a, const void* b) const;

  uint32_t key_length_;
  bool unique_ = false;
  bool sorted_ = true;  // every record is in order (no add with no_sort since the last sort)
  SortOrder order_ = SortOrder::kAscending;
  KeyComparison sort_comparison_ = nullptr;
  KeyComparison search_comparison_ = nullptr;
};

}  // namespace kolvar

#endif  // KOLVAR_COMMON_SORTED_TABLE_H_
