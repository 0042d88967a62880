// Tracked heap: totals, refusal of foreign addresses, zero fill and freeing everything.
#include "common/tracked_heap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/status.h"

namespace kolvar {
namespace {

TEST(TrackedHeapTest, KeepsTotalOfAllocatedBytes) {
  for (bool process_heap : {false, true}) {
    TrackedHeap heap(process_heap);
    ASSERT_EQ(heap.GetStatus(), kStatusOk);
    std::vector<void*> blocks;
    uint64_t expected = 0;
    for (uint32_t size = 1; size <= 300; ++size) {
      void* block = heap.Allocate(size);
      ASSERT_NE(block, nullptr);
      std::memset(block, 0xAB, size);
      blocks.push_back(block);
      expected += size;
    }
    EXPECT_EQ(heap.TotalAllocated(), expected);
    EXPECT_EQ(heap.BlockCount(), 300u);
    EXPECT_EQ(heap.SizeOfBlock(blocks[41]), 42u);
    for (size_t i = 0; i < blocks.size(); i += 2) {
      ASSERT_TRUE(heap.Free(blocks[i]));
      expected -= i + 1;
    }
    EXPECT_EQ(heap.TotalAllocated(), expected);
    EXPECT_EQ(heap.BlockCount(), 150u);
  }
}

TEST(TrackedHeapTest, FreeOfForeignAddressFailsAndKeepsTotal) {
  TrackedHeap heap;
  void* block = heap.Allocate(16);
  ASSERT_NE(block, nullptr);
  int local = 0;
  TrackedHeap other;
  void* others_block = other.Allocate(16);
  for (void* address :
       {static_cast<void*>(&local), others_block, static_cast<void*>(static_cast<char*>(block) + 1),
        static_cast<void*>(nullptr)}) {
    EXPECT_FALSE(heap.Free(address));
    EXPECT_EQ(heap.GetStatus(), kStatusBadArgument);
    EXPECT_EQ(heap.TotalAllocated(), 16u);
  }
  ASSERT_TRUE(heap.Free(block));
  EXPECT_FALSE(heap.Free(block));  // a second free of the same block
  EXPECT_EQ(heap.GetStatus(), kStatusBadArgument);
  EXPECT_EQ(heap.TotalAllocated(), 0u);
}

TEST(TrackedHeapTest, AllocateZeroFillsOnRequestAndRefusesSizeZero) {
  TrackedHeap heap;
  EXPECT_EQ(heap.Allocate(0), nullptr);
  EXPECT_EQ(heap.GetStatus(), kStatusBadArgument);
  auto* bytes = static_cast<unsigned char*>(heap.Allocate(4096, true));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TEST(TrackedHeapTest, FreeAllReleasesEveryBlock) {
  TrackedHeap heap;
  for (int i = 0; i < 1000; ++i) ASSERT_NE(heap.Allocate(64), nullptr);
  ASSERT_TRUE(heap.FreeAll());
  EXPECT_EQ(heap.TotalAllocated(), 0u);
  EXPECT_EQ(heap.BlockCount(), 0u);
  void* block = heap.Allocate(8);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(heap.Free(block));
  // Blocks left at destruction are freed by it (the sanitizer build reports any leak).
  ASSERT_NE(heap.Allocate(8), nullptr);
}

}  // namespace
}  // namespace kolvar
