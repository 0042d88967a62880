// Blocks with a small header that links them into the heap's list, so that FreeAll (and the
// destructor) can release every block of a structure in one pass.
#include "common/block_heap.h"

#include <cstdlib>
#include <cstring>

namespace kolvar {

struct alignas(16) BlockHeap::Header {
  Header* previous;
  Header* next;
  size_t size;
};

BlockHeap::BlockHeap(bool private_heap) : private_(private_heap) {}

BlockHeap::~BlockHeap() { FreeAll(); }

BlockHeap::Header* BlockHeap::HeaderOf(const void* block) const {
  return reinterpret_cast<Header*>(const_cast<char*>(static_cast<const char*>(block)) -
                                   sizeof(Header));
}

void* BlockHeap::Allocate(size_t size, bool zero_fill) {
  if (size == 0 || size > SIZE_MAX - sizeof(Header)) return nullptr;
  void* raw =
      zero_fill ? std::calloc(1, sizeof(Header) + size) : std::malloc(sizeof(Header) + size);
  if (raw == nullptr) return nullptr;
  Header* header = static_cast<Header*>(raw);
  header->previous = nullptr;
  header->next = first_;
  header->size = size;
  if (first_ != nullptr) first_->previous = header;
  first_ = header;
  ++block_count_;
  return header + 1;
}

void* BlockHeap::Reallocate(void* block, size_t size, bool zero_fill) {
  if (block == nullptr) return Allocate(size, zero_fill);
  if (size == 0 || size > SIZE_MAX - sizeof(Header)) return nullptr;
  Header* old_header = HeaderOf(block);
  const size_t old_size = old_header->size;
  void* raw = std::realloc(old_header, sizeof(Header) + size);
  if (raw == nullptr) return nullptr;
  Header* header = static_cast<Header*>(raw);
  // The links of the neighbours still point at the old place.
  if (header->previous != nullptr) {
    header->previous->next = header;
  } else {
    first_ = header;
  }
  if (header->next != nullptr) header->next->previous = header;
  header->size = size;
  if (zero_fill && size > old_size) {
    std::memset(reinterpret_cast<char*>(header + 1) + old_size, 0, size - old_size);
  }
  return header + 1;
}

void BlockHeap::Free(void* block) {
  if (block == nullptr) return;
  Header* header = HeaderOf(block);
  if (header->previous != nullptr) {
    header->previous->next = header->next;
  } else {
    first_ = header->next;
  }
  if (header->next != nullptr) header->next->previous = header->previous;
  --block_count_;
  std::free(header);
}

void BlockHeap::FreeAll() {
  Header* header = first_;
  while (header != nullptr) {
    Header* next = header->next;
    std::free(header);
    header = next;
  }
  first_ = nullptr;
  block_count_ = 0;
}

size_t BlockHeap::BlockSize(const void* block) const {
  return block == nullptr ? 0 : HeaderOf(block)->size;
}

}  // namespace kolvar
