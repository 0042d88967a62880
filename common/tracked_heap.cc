// The tracked heap: blocks from its own heap, each recorded by address in a sorted table so that
// foreign addresses are refused and whatever remains is freed at the end.
#include "common/tracked_heap.h"

#include <cstring>
#include <new>

namespace kolvar {
namespace {

// The allocation table's key: the address as 8 little-endian bytes, compared as an unsigned number.
constexpr uint32_t kAddressKeyLength = 8;

void AddressKey(const void* address, unsigned char key[kAddressKeyLength]) {
  const uint64_t value = reinterpret_cast<uintptr_t>(address);
  for (uint32_t i = 0; i < kAddressKeyLength; ++i)
    key[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

TrackedHeap::TrackedHeap(bool use_process_heap)
    : LockableObject(true, kLockCriticalSection),
      heap_(new (std::nothrow) BlockHeap(!use_process_heap)),
      allocations_(kAddressKeyLength, false) {
  // The heap serialises every access to its table itself.
  allocations_.SetLocking(false);
  allocations_.SetSortComparison(CompareUint64);
  allocations_.SetSearchComparison(CompareUint64);
  allocations_.SetUnique(true);
  if (heap_ == nullptr) {
    SetStatus(kStatusHeapCreationFailed);
  } else {
    SetStatus(allocations_.GetStatus());
  }
}

TrackedHeap::~TrackedHeap() { FreeAll(); }

void* TrackedHeap::Allocate(uint32_t size, bool zero_fill) {
  void* block = nullptr;
  RunLocked([&] {
    if (size == 0) return kStatusBadArgument;
    if (heap_ == nullptr) return kStatusHeapCreationFailed;
    void* allocated = heap_->Allocate(size, zero_fill);
    if (allocated == nullptr) return kStatusOutOfMemory;
    Allocation record{};
    record.address = reinterpret_cast<uintptr_t>(allocated);
    record.size = size;
    unsigned char key[kAddressKeyLength];
    AddressKey(allocated, key);
    if (!allocations_.Add(&record, sizeof(record), key)) {
      heap_->Free(allocated);
      return allocations_.GetStatus();
    }
    total_ += size;
    block = allocated;
    return kStatusOk;
  });
  return block;
}

// The allocation record of a block of this heap; false for any other address.
bool TrackedHeap::FindAllocation(const void* address, bool remove, Allocation* record) {
  if (address == nullptr) return false;
  unsigned char key[kAddressKeyLength];
  AddressKey(address, key);
  return allocations_.Find(key) && allocations_.Get(record, sizeof(*record), remove);
}

bool TrackedHeap::Free(void* address) {
  return RunLocked([&] {
    Allocation record{};
    if (!FindAllocation(address, /*remove=*/true, &record)) return kStatusBadArgument;
    total_ -= record.size;
    heap_->Free(address);
    return kStatusOk;
  });
}

bool TrackedHeap::FreeAll() {
  return RunLocked([&] {
    const uint32_t count = allocations_.Count();
    for (uint32_t i = 0; i < count; ++i) {
      Allocation record{};
      if (allocations_.Get(&record, sizeof(record), false, i)) {
        heap_->Free(reinterpret_cast<void*>(static_cast<uintptr_t>(record.address)));
      }
    }
    allocations_.Clear();
    total_ = 0;
    return allocations_.GetStatus();
  });
}

uint64_t TrackedHeap::TotalAllocated() {
  return WithLock([&] { return total_; });
}

uint32_t TrackedHeap::BlockCount() {
  return WithLock([&] { return allocations_.Count(); });
}

uint32_t TrackedHeap::SizeOfBlock(const void* address) {
  uint32_t size = 0;
  RunLocked([&] {
    Allocation record{};
    if (!FindAllocation(address, /*remove=*/false, &record)) return kStatusBadArgument;
    size = record.size;
    return kStatusOk;
  });
  return size;
}

}  // namespace kolvar
