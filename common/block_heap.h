// The heap that the containers allocate from: either the process heap or a private heap that keeps
// a list of its blocks, so that a whole structure can be released in one pass (FreeAll) and bulk
// data stays apart from the program's other allocations. Not serialised: its owner locks.
#ifndef KOLVAR_COMMON_BLOCK_HEAP_H_
#define KOLVAR_COMMON_BLOCK_HEAP_H_

#include <cstddef>
#include <cstdint>

namespace kolvar {

class BlockHeap {
 public:
  // A private heap tracks its blocks; the process heap (private_heap false) does not, and FreeAll
  // then does nothing.
  explicit BlockHeap(bool private_heap);
  ~BlockHeap();  // a private heap frees every block still allocated
  BlockHeap(const BlockHeap&) = delete;
  BlockHeap& operator=(const BlockHeap&) = delete;

  // Null when memory runs out or size is 0. Blocks are aligned for any fundamental type.
  void* Allocate(size_t size, bool zero_fill);
  // Resizes in place or moves; the old block stays valid when it fails (null). New bytes are
  // zeroed when zero_fill is set.
  void* Reallocate(void* block, size_t size, bool zero_fill);
  void Free(void* block);  // null is ignored
  void FreeAll();
  size_t BlockSize(const void* block) const;

  bool is_private() const { return private_; }
  size_t block_count() const { return block_count_; }

 private:
  struct Header;
  Header* HeaderOf(const void* block) const;

  bool private_;
  Header* first_ = nullptr;
  size_t block_count_ = 0;
};

}  // namespace kolvar

#endif  // KOLVAR_COMMON_BLOCK_HEAP_H_
