// A heap that records every block it hands out (address and size) in a sorted table, keeps the
// total of the bytes allocated, refuses to free what it did not allocate, and frees whatever
// remains when it is destroyed. The configuration store keeps every value's bytes in one.
#ifndef KOLVAR_COMMON_TRACKED_HEAP_H_
#define KOLVAR_COMMON_TRACKED_HEAP_H_

#include <cstdint>
#include <memory>

#include "common/block_heap.h"
#include "common/lockable_object.h"
#include "common/sorted_table.h"

namespace kolvar {

class TrackedHeap : public LockableObject {
 public:
  // A private heap unless use_process_heap. Status as the allocation table's on failure.
  explicit TrackedHeap(bool use_process_heap = false);
  ~TrackedHeap() override;  // FreeAll

  // Null with status 1 for size 0, 47 when memory runs out.
  void* Allocate(uint32_t size, bool zero_fill = false);
  // 1 for a null address or one this heap did not allocate (the total is then unchanged).
  bool Free(void* address);
  bool FreeAll();
  // Bytes currently allocated.
  uint64_t TotalAllocated();
  uint32_t BlockCount();
  // The allocated size of a block of this heap; 0 (status 1) for any other address.
  uint32_t SizeOfBlock(const void* address);

 private:
  // One allocation as the table keeps it; the key is the address as a little-endian 64-bit value.
  struct Allocation {
    uint64_t address;
    uint32_t size;
    uint32_t reserved;
  };

  bool FindAllocation(const void* address, bool remove, Allocation* record);

  std::unique_ptr<BlockHeap> heap_;
  uint64_t total_ = 0;
  SortedTable allocations_;
};

}  // namespace kolvar

#endif  // KOLVAR_COMMON_TRACKED_HEAP_H_
