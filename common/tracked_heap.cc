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
  Lock();
  void* block = nullptr;
  Status status = size == 0          ? kStatusBadArgument
                  : heap_ == nullptr ? kStatusHeapCreationFailed
                                     : kStatusOk;
  if (status == kStatusOk) {
    block = heap_->Allocate(size, zero_fill);
    if (block == nullptr) status = kStatusOutOfMemory;
  }
  if (status == kStatusOk) {
    Allocation record{};
    record.address = reinterpret_cast<uintptr_t>(block);
    record.size = size;
    unsigned char key[kAddressKeyLength];
    AddressKey(block, key);
    if (allocations_.Add(&record, sizeof(record), key)) {
      total_ += size;
    } else {
      status = allocations_.GetStatus();
      heap_->Free(block);
      block = nullptr;
    }
  }
  SetStatus(status);
  Unlock();
  return block;
}

bool TrackedHeap::Free(void* address) {
  Lock();
  Status status = address == nullptr ? kStatusBadArgument : kStatusOk;
  if (status == kStatusOk) {
    unsigned char key[kAddressKeyLength];
    AddressKey(address, key);
    Allocation record{};
    if (!allocations_.Find(key) || !allocations_.Get(&record, sizeof(record), true)) {
      status = kStatusBadArgument;
    } else {
      total_ -= record.size;
      heap_->Free(address);
    }
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool TrackedHeap::FreeAll() {
  Lock();
  const uint32_t count = allocations_.Count();
  for (uint32_t i = 0; i < count; ++i) {
    Allocation record{};
    if (allocations_.Get(&record, sizeof(record), false, i)) {
      heap_->Free(reinterpret_cast<void*>(static_cast<uintptr_t>(record.address)));
    }
  }
  allocations_.Clear();
  total_ = 0;
  const Status status = allocations_.GetStatus();
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

uint64_t TrackedHeap::TotalAllocated() {
  Lock();
  const uint64_t total = total_;
  Unlock();
  return total;
}

uint32_t TrackedHeap::BlockCount() {
  Lock();
  const uint32_t count = allocations_.Count();
  Unlock();
  return count;
}

uint32_t TrackedHeap::SizeOfBlock(const void* address) {
  Lock();
  uint32_t size = 0;
  Status status = kStatusBadArgument;
  if (address != nullptr) {
    unsigned char key[kAddressKeyLength];
    AddressKey(address, key);
    Allocation record{};
    if (allocations_.Find(key) && allocations_.Get(&record, sizeof(record))) {
      size = record.size;
      status = kStatusOk;
    }
  }
  SetStatus(status);
  Unlock();
  return size;
}

}  // namespace kolvar
