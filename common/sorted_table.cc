// The sorted table: slot array growth and shrinking by page-sized chunks, record and key copies on
// the table's heap, sorting and binary search.
#include "common/sorted_table.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/memory_page.h"

namespace kolvar {
namespace {

uint32_t SlotsPerChunk(uint32_t page_size, uint32_t nominal_slot_size) {
  // At least two slots, so that a chunk always takes an insertion before it has to grow.
  return std::max<uint32_t>(page_size / nominal_slot_size, 2);
}

}  // namespace

SortedTable::SortedTable(uint32_t key_length, bool private_heap, uint32_t page_size)
    : LockableObject(true, kLockCriticalSection),
      page_size_(page_size != 0 ? page_size : platform::MemoryPageSize()),
      chunk_size_(SlotsPerChunk(page_size_, kNominalSlotSize)),
      key_length_(key_length),
      private_heap_(private_heap) {
  SetStatus(SetUp());
}

SortedTable::~SortedTable() { TearDown(); }

Status SortedTable::SetUp() {
  heap_.reset(new (std::nothrow) BlockHeap(private_heap_));
  if (heap_ == nullptr) return kStatusHeapCreationFailed;
  slots_ = static_cast<Slot*>(heap_->Allocate(sizeof(Slot) * chunk_size_, true));
  if (slots_ == nullptr) return kStatusSlotArrayAllocationFailed;
  chunk_count_ = 1;
  capacity_ = chunk_size_;
  cursor_ = 0;
  count_ = 0;
  sorted_ = true;
  return kStatusOk;
}

void SortedTable::TearDown() {
  if (heap_ != nullptr) {
    for (uint32_t i = 0; i < count_; ++i) {
      heap_->Free(slots_[i].record);
      heap_->Free(slots_[i].key);
    }
    heap_->Free(slots_);
  }
  heap_.reset();
  slots_ = nullptr;
  chunk_count_ = 0;
  capacity_ = 0;
  cursor_ = 0;
  count_ = 0;
}

Status SortedTable::ResolveIndex(uint32_t index, uint32_t* resolved) const {
  if (count_ == 0) return kStatusTableEmpty;
  const uint32_t i = index == kAtCursor ? cursor_ : index;
  if (i >= count_) return kStatusIndexOutOfRange;
  *resolved = i;
  return kStatusOk;
}

Status SortedTable::Grow() {
  if (slots_ == nullptr) return kStatusSlotArrayAllocationFailed;
  const uint32_t new_capacity = capacity_ + chunk_size_;
  void* grown = heap_->Reallocate(slots_, sizeof(Slot) * static_cast<size_t>(new_capacity), true);
  if (grown == nullptr) return kStatusOutOfMemory;
  slots_ = static_cast<Slot*>(grown);
  ++chunk_count_;
  capacity_ = new_capacity;
  return kStatusOk;
}

void SortedTable::ShrinkIfSparse() {
  if (chunk_count_ <= 1) return;
  const int64_t threshold = static_cast<int64_t>(chunk_count_ - 1) * chunk_size_ - 5;
  if (static_cast<int64_t>(count_) >= threshold) return;
  const uint32_t new_capacity = capacity_ - chunk_size_;
  void* shrunk = heap_->Reallocate(slots_, sizeof(Slot) * static_cast<size_t>(new_capacity), false);
  // A failed shrink keeps the larger array, which still holds every slot.
  if (shrunk == nullptr) return;
  slots_ = static_cast<Slot*>(shrunk);
  --chunk_count_;
  capacity_ = new_capacity;
}

int SortedTable::CompareForSort(const void* a, const void* b) const {
  const int result = sort_comparison_ != nullptr ? sort_comparison_(a, b, key_length_)
                                                 : CompareKeyBytes(a, b, key_length_);
  return order_ == SortOrder::kDescending ? -result : result;
}

bool SortedTable::KeyExists(const void* key) const {
  if (!sorted_) {
    for (uint32_t i = 0; i < count_; ++i) {
      if (CompareForSort(key, slots_[i].key) == 0) return true;
    }
    return false;
  }
  const Slot* begin = slots_;
  const Slot* end = slots_ + count_;
  const Slot* at = std::lower_bound(begin, end, key, [this](const Slot& slot, const void* k) {
    return CompareForSort(slot.key, k) < 0;
  });
  return at != end && CompareForSort(key, at->key) == 0;
}

Status SortedTable::AddLocked(const void* record, uint32_t size, const void* key, bool no_sort) {
  if (record == nullptr || size == 0 || key == nullptr) return kStatusBadArgument;
  if (key_length_ == 0) return kStatusKeyLengthMissing;
  if (slots_ == nullptr) return kStatusSlotArrayAllocationFailed;
  if (unique_ && KeyExists(key)) return kStatusDuplicateKey;
  if (count_ >= capacity_ - 1) {
    const Status grown = Grow();
    if (grown != kStatusOk) return grown;
  }
  void* record_copy = heap_->Allocate(size, true);
  void* key_copy = heap_->Allocate(key_length_, true);
  if (record_copy == nullptr || key_copy == nullptr) {
    heap_->Free(record_copy);
    heap_->Free(key_copy);
    return kStatusOutOfMemory;
  }
  std::memcpy(record_copy, record, size);
  std::memcpy(key_copy, key, key_length_);

  const bool was_sorted = sorted_;
  uint32_t at = count_;
  if (!no_sort && was_sorted) {
    // Inserting at the first position after every key that does not sort behind the new one gives
    // the order a full sort would give, at the cost of one binary search and one move.
    const Slot* position = std::upper_bound(
        slots_, slots_ + count_, key_copy,
        [this](const void* k, const Slot& s) { return CompareForSort(k, s.key) < 0; });
    at = static_cast<uint32_t>(position - slots_);
    std::memmove(slots_ + at + 1, slots_ + at, sizeof(Slot) * (count_ - at));
  }
  slots_[at] = Slot{record_copy, key_copy, size, 1};
  ++count_;
  cursor_ = at;
  if (no_sort) {
    sorted_ = count_ <= 1;
  } else if (!was_sorted) {
    SortLocked();
  }
  return kStatusOk;
}

bool SortedTable::Add(const void* record, uint32_t size, const void* key, bool no_sort) {
  return RunLocked([&] { return AddLocked(record, size, key, no_sort); });
}

Status SortedTable::DeleteLocked(uint32_t index) {
  uint32_t i = 0;
  const Status status = ResolveIndex(index, &i);
  if (status != kStatusOk) return status;
  heap_->Free(slots_[i].record);
  heap_->Free(slots_[i].key);
  std::memmove(slots_ + i, slots_ + i + 1, sizeof(Slot) * (count_ - i - 1));
  --count_;
  slots_[count_] = Slot{};
  if (cursor_ >= count_) cursor_ = count_ > 0 ? count_ - 1 : 0;
  if (count_ <= 1) sorted_ = true;
  ShrinkIfSparse();
  return kStatusOk;
}

bool SortedTable::Get(void* buffer, uint32_t buffer_size, bool remove, uint32_t index,
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

bool SortedTable::Update(const void* record, uint32_t size, uint32_t index) {
  return RunLocked([&]() -> Status {
    if (record == nullptr || size == 0) return kStatusBadArgument;
    uint32_t i = 0;
    const Status status = ResolveIndex(index, &i);
    if (status != kStatusOk) return status;
    Slot& slot = slots_[i];
    if (slot.size != size) {
      void* replacement = heap_->Allocate(size, true);
      if (replacement == nullptr) return kStatusOutOfMemory;
      heap_->Free(slot.record);
      slot.record = replacement;
      slot.size = size;
    }
    std::memcpy(slot.record, record, size);
    return kStatusOk;
  });
}

bool SortedTable::Delete(uint32_t index) {
  return RunLocked([&] { return DeleteLocked(index); });
}

bool SortedTable::Find(const void* key) {
  return RunLocked([&]() -> Status {
    if (key == nullptr) return kStatusBadArgument;
    if (count_ == 0) return kStatusTableEmpty;
    auto compare = [this](const void* a, const void* b) {
      const int result = search_comparison_ != nullptr ? search_comparison_(a, b, key_length_)
                                                       : CompareKeyBytes(a, b, key_length_);
      return order_ == SortOrder::kDescending ? -result : result;
    };
    if (!sorted_) {
      // Records added without sorting are not in order yet: a binary search could miss them.
      for (uint32_t i = 0; i < count_; ++i) {
        if (compare(key, slots_[i].key) == 0) {
          cursor_ = i;
          return kStatusOk;
        }
      }
      return kStatusNotFound;
    }
    int64_t low = 0;
    int64_t high = static_cast<int64_t>(count_) - 1;
    while (low <= high) {
      const int64_t middle = (low + high) / 2;
      const int result = compare(key, slots_[middle].key);
      if (result == 0) {
        cursor_ = static_cast<uint32_t>(middle);
        return kStatusOk;
      }
      if (result < 0) {
        high = middle - 1;
      } else {
        low = middle + 1;
      }
    }
    return kStatusNotFound;
  });
}

uint32_t SortedTable::Count() {
  Lock();
  const uint32_t count = count_;
  Unlock();
  return count;
}

uint32_t SortedTable::Cursor() {
  Lock();
  const uint32_t cursor = cursor_;
  Unlock();
  return cursor;
}

bool SortedTable::SetCursor(uint32_t index) {
  return RunLocked([&]() -> Status {
    uint32_t i = 0;
    const Status status = index == kAtCursor ? kStatusIndexOutOfRange : ResolveIndex(index, &i);
    if (status == kStatusOk) cursor_ = i;
    return status;
  });
}

bool SortedTable::GetKey(void* buffer, uint32_t buffer_size, uint32_t index) {
  return RunLocked([&]() -> Status {
    uint32_t i = 0;
    const Status status =
        buffer == nullptr || buffer_size == 0 ? kStatusBadArgument : ResolveIndex(index, &i);
    if (status == kStatusOk) {
      std::memset(buffer, 0, buffer_size);
      std::memcpy(buffer, slots_[i].key, std::min(buffer_size, key_length_));
    }
    return status;
  });
}

uint32_t SortedTable::SizeOf(uint32_t index) {
  uint32_t size = 0;
  RunLocked([&]() -> Status {
    uint32_t i = 0;
    const Status status = ResolveIndex(index, &i);
    if (status == kStatusOk) size = slots_[i].size;
    return status;
  });
  return size;
}

void SortedTable::SortLocked() {
  if (count_ > 1) {
    const void* current = cursor_ < count_ ? slots_[cursor_].record : nullptr;
    std::sort(slots_, slots_ + count_,
              [this](const Slot& a, const Slot& b) { return CompareForSort(a.key, b.key) < 0; });
    // The cursor keeps pointing at the record it pointed at before.
    for (uint32_t i = 0; i < count_; ++i) {
      if (slots_[i].record == current) {
        cursor_ = i;
        break;
      }
    }
  }
  sorted_ = true;
}

bool SortedTable::Sort() {
  return RunLocked([&] {
    SortLocked();
    return kStatusOk;
  });
}

bool SortedTable::SetKeyLength(uint32_t key_length) {
  return RunLocked([&]() -> Status {
    if (key_length == 0) return kStatusKeyLengthMissing;
    if (count_ != 0) return kStatusNotReady;
    key_length_ = key_length;
    return kStatusOk;
  });
}

void SortedTable::SetUnique(bool unique) {
  Lock();
  unique_ = unique;
  Unlock();
}

void SortedTable::SetOrder(SortOrder order) {
  Lock();
  if (order != order_) {
    order_ = order;
    sorted_ = count_ <= 1;
  }
  Unlock();
}

void SortedTable::SetSortComparison(KeyComparison comparison) {
  Lock();
  if (comparison != sort_comparison_) {
    sort_comparison_ = comparison;
    sorted_ = count_ <= 1;
  }
  Unlock();
}

void SortedTable::SetSearchComparison(KeyComparison comparison) {
  Lock();
  search_comparison_ = comparison;
  Unlock();
}

bool SortedTable::CopyTo(SortedTable* other) {
  if (other == nullptr || other == this) {
    SetStatus(kStatusBadArgument);
    return false;
  }
  return RunLocked([&]() -> Status {
    if (count_ == 0) return kStatusTableEmpty;
    Status status = kStatusOk;
    other->Lock();
    if (!other->Clear() || !other->SetKeyLength(key_length_)) {
      status = other->GetStatus();
    }
    for (uint32_t i = 0; status == kStatusOk && i < count_; ++i) {
      if (!other->Add(slots_[i].record, slots_[i].size, slots_[i].key, true)) {
        status = other->GetStatus();
      }
    }
    if (status == kStatusOk) other->Sort();
    other->Unlock();
    return status;
  });
}

bool SortedTable::Clear() {
  return RunLocked([&] {
    TearDown();
    return SetUp();
  });
}

uint32_t SortedTable::Capacity() {
  Lock();
  const uint32_t capacity = capacity_;
  Unlock();
  return capacity;
}

uint32_t SortedTable::ChunkCount() {
  Lock();
  const uint32_t chunks = chunk_count_;
  Unlock();
  return chunks;
}

}  // namespace kolvar
