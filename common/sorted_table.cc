// The sorted table: record and key copies on the slot array's heap, insertion in key order, sorting
// and binary search.
#include "common/sorted_table.h"

#include <algorithm>
#include <cstring>

namespace kolvar {

SortedTable::SortedTable(uint32_t key_length, bool private_heap, uint32_t page_size)
    : SlotContainer(private_heap, page_size, kNominalSlotSize), key_length_(key_length) {
  SetStatus(SetUp());
}

SortedTable::~SortedTable() { TearDown(); }

Status SortedTable::SetUp() {
  const Status status = slots_.SetUp();
  if (status == kStatusOk) sorted_ = true;
  return status;
}

void SortedTable::TearDown() {
  slots_.TearDown([](BlockHeap& heap, Slot& slot) {
    heap.Free(slot.record);
    heap.Free(slot.key);
  });
}

int SortedTable::CompareForSort(const void* a, const void* b) const {
  const int result = sort_comparison_ != nullptr ? sort_comparison_(a, b, key_length_)
                                                 : CompareKeyBytes(a, b, key_length_);
  return order_ == SortOrder::kDescending ? -result : result;
}

bool SortedTable::KeyExists(const void* key) const {
  if (!sorted_) {
    for (const Slot& slot : slots_) {
      if (CompareForSort(key, slot.key) == 0) return true;
    }
    return false;
  }
  const Slot* begin = slots_.begin();
  const Slot* end = slots_.end();
  const Slot* at = std::lower_bound(begin, end, key, [this](const Slot& slot, const void* k) {
    return CompareForSort(slot.key, k) < 0;
  });
  return at != end && CompareForSort(key, at->key) == 0;
}

Status SortedTable::AddLocked(const void* record, uint32_t size, const void* key, bool no_sort) {
  if (record == nullptr || size == 0 || key == nullptr) return kStatusBadArgument;
  if (key_length_ == 0) return kStatusKeyLengthMissing;
  if (!slots_.ready()) return kStatusSlotArrayAllocationFailed;
  if (unique_ && KeyExists(key)) return kStatusDuplicateKey;
  const Status room = slots_.MakeRoom();
  if (room != kStatusOk) return room;
  BlockHeap& heap = slots_.heap();
  void* record_copy = heap.Allocate(size, true);
  void* key_copy = heap.Allocate(key_length_, true);
  if (record_copy == nullptr || key_copy == nullptr) {
    heap.Free(record_copy);
    heap.Free(key_copy);
    return kStatusOutOfMemory;
  }
  std::memcpy(record_copy, record, size);
  std::memcpy(key_copy, key, key_length_);

  const bool was_sorted = sorted_;
  uint32_t at = slots_.count();
  if (!no_sort && was_sorted) {
    // Inserting at the first position after every key that does not sort behind the new one gives
    // the order a full sort would give, at the cost of one binary search and one move.
    const Slot* position = std::upper_bound(
        slots_.begin(), slots_.end(), key_copy,
        [this](const void* k, const Slot& s) { return CompareForSort(k, s.key) < 0; });
    at = static_cast<uint32_t>(position - slots_.begin());
  }
  slots_.Insert(at, Slot{record_copy, key_copy, size, 1});
  if (no_sort) {
    sorted_ = slots_.count() <= 1;
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
  const Status status = slots_.ResolveIndex(index, &i);
  if (status != kStatusOk) return status;
  slots_.heap().Free(slots_[i].record);
  slots_.heap().Free(slots_[i].key);
  slots_.Remove(i);
  if (slots_.count() <= 1) sorted_ = true;
  return kStatusOk;
}

bool SortedTable::Get(void* buffer, uint32_t buffer_size, bool remove, uint32_t index,
                      uint32_t* copied) {
  return RunLocked([&] {
    return slots_.GetRecord(buffer, buffer_size, remove, index, copied,
                            [this](uint32_t i) { return DeleteLocked(i); });
  });
}

bool SortedTable::Update(const void* record, uint32_t size, uint32_t index) {
  return RunLocked([&]() -> Status {
    if (record == nullptr || size == 0) return kStatusBadArgument;
    uint32_t i = 0;
    const Status status = slots_.ResolveIndex(index, &i);
    if (status != kStatusOk) return status;
    Slot& slot = slots_[i];
    if (slot.size != size) {
      void* replacement = slots_.heap().Allocate(size, true);
      if (replacement == nullptr) return kStatusOutOfMemory;
      slots_.heap().Free(slot.record);
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
    const uint32_t count = slots_.count();
    if (count == 0) return kStatusTableEmpty;
    auto compare = [this](const void* a, const void* b) {
      const int result = search_comparison_ != nullptr ? search_comparison_(a, b, key_length_)
                                                       : CompareKeyBytes(a, b, key_length_);
      return order_ == SortOrder::kDescending ? -result : result;
    };
    if (!sorted_) {
      // Records added without sorting are not in order yet: a binary search could miss them.
      for (uint32_t i = 0; i < count; ++i) {
        if (compare(key, slots_[i].key) == 0) {
          slots_.set_cursor(i);
          return kStatusOk;
        }
      }
      return kStatusNotFound;
    }
    int64_t low = 0;
    int64_t high = static_cast<int64_t>(count) - 1;
    while (low <= high) {
      const int64_t middle = (low + high) / 2;
      const int result = compare(key, slots_[static_cast<uint32_t>(middle)].key);
      if (result == 0) {
        slots_.set_cursor(static_cast<uint32_t>(middle));
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

bool SortedTable::GetKey(void* buffer, uint32_t buffer_size, uint32_t index) {
  return RunLocked([&]() -> Status {
    uint32_t i = 0;
    const Status status =
        buffer == nullptr || buffer_size == 0 ? kStatusBadArgument : slots_.ResolveIndex(index, &i);
    if (status == kStatusOk) {
      std::memset(buffer, 0, buffer_size);
      std::memcpy(buffer, slots_[i].key, std::min(buffer_size, key_length_));
    }
    return status;
  });
}

void SortedTable::SortLocked() {
  const uint32_t count = slots_.count();
  if (count > 1) {
    const void* current = slots_.cursor() < count ? slots_[slots_.cursor()].record : nullptr;
    std::sort(slots_.begin(), slots_.end(),
              [this](const Slot& a, const Slot& b) { return CompareForSort(a.key, b.key) < 0; });
    // The cursor keeps pointing at the record it pointed at before.
    for (uint32_t i = 0; i < count; ++i) {
      if (slots_[i].record == current) {
        slots_.set_cursor(i);
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
    if (slots_.count() != 0) return kStatusNotReady;
    key_length_ = key_length;
    return kStatusOk;
  });
}

void SortedTable::SetUnique(bool unique) {
  WithLock([&] { unique_ = unique; });
}

void SortedTable::SetOrder(SortOrder order) {
  WithLock([&] {
    if (order == order_) return;
    order_ = order;
    sorted_ = slots_.count() <= 1;
  });
}

void SortedTable::SetSortComparison(KeyComparison comparison) {
  WithLock([&] {
    if (comparison == sort_comparison_) return;
    sort_comparison_ = comparison;
    sorted_ = slots_.count() <= 1;
  });
}

void SortedTable::SetSearchComparison(KeyComparison comparison) {
  WithLock([&] { search_comparison_ = comparison; });
}

bool SortedTable::CopyTo(SortedTable* other) {
  if (other == nullptr || other == this) {
    SetStatus(kStatusBadArgument);
    return false;
  }
  return RunLocked([&]() -> Status {
    if (slots_.count() == 0) return kStatusTableEmpty;
    // The other table stays locked for the whole copy, so nobody sees it half filled.
    return other->WithLock([&] {
      if (!other->Clear() || !other->SetKeyLength(key_length_)) return other->GetStatus();
      for (const Slot& slot : slots_) {
        if (!other->Add(slot.record, slot.size, slot.key, true)) return other->GetStatus();
      }
      other->Sort();
      return kStatusOk;
    });
  });
}

bool SortedTable::Clear() {
  return RunLocked([&] {
    TearDown();
    return SetUp();
  });
}

}  // namespace kolvar
