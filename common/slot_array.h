// The slot array under RecordQueue and SortedTable: the container's own heap, and an array of
// slots on it that grows and shrinks one chunk at a time, with the record count and the cursor.
// A chunk holds page size / nominal slot size slots (at least two), whatever a slot occupies in
// this process, so that the chunk arithmetic is the same everywhere. Not locked: the owning
// container holds its lock around every call.
#ifndef KOLVAR_COMMON_SLOT_ARRAY_H_
#define KOLVAR_COMMON_SLOT_ARRAY_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "common/block_heap.h"
#include "common/status.h"
#include "platform/memory_page.h"

namespace kolvar {

// Index argument meaning "the record at the cursor".
inline constexpr uint32_t kAtCursor = 0xFFFFFFFF;

template <typename Slot>
class SlotArray {
 public:
  // page_size 0 takes the platform's memory page size.
  SlotArray(bool private_heap, uint32_t page_size, uint32_t nominal_slot_size)
      : page_size_(page_size != 0 ? page_size : platform::MemoryPageSize()),
        // At least two slots, so that a chunk always takes an insertion before it has to grow.
        chunk_size_(std::max<uint32_t>(page_size_ / nominal_slot_size, 2)),
        private_heap_(private_heap) {}
  SlotArray(const SlotArray&) = delete;
  SlotArray& operator=(const SlotArray&) = delete;

  // A new heap and one chunk of zeroed slots, empty. 41 when the heap cannot be set up, 26 when
  // the slot array cannot be allocated.
  Status SetUp() {
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

  // free_slot(heap, slot) releases each used slot's blocks; then the array and the heap go.
  template <typename FreeSlot>
  void TearDown(FreeSlot free_slot) {
    if (heap_ != nullptr) {
      for (uint32_t i = 0; i < count_; ++i) free_slot(*heap_, slots_[i]);
      heap_->Free(slots_);
    }
    heap_.reset();
    slots_ = nullptr;
    chunk_count_ = 0;
    capacity_ = 0;
    cursor_ = 0;
    count_ = 0;
  }

  // 49 when empty, 48 for an index >= count; kAtCursor stands for the cursor.
  Status ResolveIndex(uint32_t index, uint32_t* resolved) const {
    if (count_ == 0) return kStatusTableEmpty;
    const uint32_t i = index == kAtCursor ? cursor_ : index;
    if (i >= count_) return kStatusIndexOutOfRange;
    *resolved = i;
    return kStatusOk;
  }

  // Room for one more slot: a chunk more once the count reaches capacity - 1. 26 when there is no
  // array (a failed set-up), 47 when memory runs out.
  Status MakeRoom() {
    if (slots_ == nullptr) return kStatusSlotArrayAllocationFailed;
    if (count_ < capacity_ - 1) return kStatusOk;
    const uint32_t new_capacity = capacity_ + chunk_size_;
    void* grown = heap_->Reallocate(slots_, sizeof(Slot) * static_cast<size_t>(new_capacity), true);
    if (grown == nullptr) return kStatusOutOfMemory;
    slots_ = static_cast<Slot*>(grown);
    ++chunk_count_;
    capacity_ = new_capacity;
    return kStatusOk;
  }

  // After MakeRoom: puts the slot at position at (<= count), moving the ones behind it up, and
  // makes it the current one.
  void Insert(uint32_t at, const Slot& slot) {
    std::memmove(slots_ + at + 1, slots_ + at, sizeof(Slot) * (count_ - at));
    slots_[at] = slot;
    ++count_;
    cursor_ = at;
  }

  // Takes out slot i (its blocks already freed), clamps the cursor to the last slot and gives a
  // chunk back once the count is below (chunks - 1) * chunk size - 5.
  void Remove(uint32_t i) {
    std::memmove(slots_ + i, slots_ + i + 1, sizeof(Slot) * (count_ - i - 1));
    --count_;
    slots_[count_] = Slot{};
    if (cursor_ >= count_) cursor_ = count_ > 0 ? count_ - 1 : 0;
    if (chunk_count_ <= 1) return;
    const int64_t threshold = static_cast<int64_t>(chunk_count_ - 1) * chunk_size_ - 5;
    if (static_cast<int64_t>(count_) >= threshold) return;
    const uint32_t new_capacity = capacity_ - chunk_size_;
    void* shrunk =
        heap_->Reallocate(slots_, sizeof(Slot) * static_cast<size_t>(new_capacity), false);
    // A failed shrink keeps the larger array, which still holds every slot.
    if (shrunk == nullptr) return;
    slots_ = static_cast<Slot*>(shrunk);
    --chunk_count_;
    capacity_ = new_capacity;
  }

  // The getter of both containers (Slot has `record` and `size`): resolves `index`, zero-fills
  // the buffer and copies min(buffer_size, size) bytes of the record into it, and with `remove`
  // deletes the slot through delete_slot(i), which frees its blocks and removes it. 1 for a
  // missing buffer of non-zero size. *copied (may be null) receives the bytes copied.
  template <typename DeleteSlot>
  Status GetRecord(void* buffer, uint32_t buffer_size, bool remove, uint32_t index,
                   uint32_t* copied, DeleteSlot delete_slot) {
    uint32_t i = 0;
    uint32_t n = 0;
    Status status =
        buffer == nullptr && buffer_size > 0 ? kStatusBadArgument : ResolveIndex(index, &i);
    if (status == kStatusOk) {
      n = std::min(buffer_size, slots_[i].size);
      if (buffer_size > 0) std::memset(buffer, 0, buffer_size);
      if (n > 0) std::memcpy(buffer, slots_[i].record, n);
      if (remove) status = delete_slot(i);
    }
    if (copied != nullptr) *copied = n;
    return status;
  }

  // The record size of the slot at `index` into *size (untouched on failure).
  Status SizeAt(uint32_t index, uint32_t* size) const {
    uint32_t i = 0;
    const Status status = ResolveIndex(index, &i);
    if (status == kStatusOk) *size = slots_[i].size;
    return status;
  }

  // Makes slot `index` the current one; kAtCursor is no index here (48).
  Status MoveCursor(uint32_t index) {
    uint32_t i = 0;
    const Status status = index == kAtCursor ? kStatusIndexOutOfRange : ResolveIndex(index, &i);
    if (status == kStatusOk) cursor_ = i;
    return status;
  }

  BlockHeap& heap() const { return *heap_; }
  bool ready() const { return slots_ != nullptr; }
  Slot& operator[](uint32_t i) { return slots_[i]; }
  const Slot& operator[](uint32_t i) const { return slots_[i]; }
  Slot* begin() { return slots_; }
  Slot* end() { return slots_ + count_; }
  const Slot* begin() const { return slots_; }
  const Slot* end() const { return slots_ + count_; }

  uint32_t count() const { return count_; }
  uint32_t cursor() const { return cursor_; }
  void set_cursor(uint32_t cursor) { cursor_ = cursor; }
  uint32_t capacity() const { return capacity_; }
  uint32_t chunk_count() const { return chunk_count_; }
  uint32_t chunk_size() const { return chunk_size_; }

 private:
  std::unique_ptr<BlockHeap> heap_;
  Slot* slots_ = nullptr;
  uint32_t chunk_count_ = 0;
  uint32_t page_size_;
  uint32_t capacity_ = 0;
  uint32_t chunk_size_;
  uint32_t cursor_ = 0;
  uint32_t count_ = 0;
  bool private_heap_;
};

}  // namespace kolvar

#endif  // KOLVAR_COMMON_SLOT_ARRAY_H_
