// Record queue: first in, first out; chunk arithmetic with 12-byte nominal slots; error codes.
#include "common/record_queue.h"

#include <gtest/gtest.h>

#include <string>

#include "common/status.h"

namespace kolvar {
namespace {

constexpr uint32_t kPage = 4096;

TEST(RecordQueueTest, ReturnsRecordsInOrderAppended) {
  RecordQueue queue(false, kPage);
  for (const char* text : {"first", "second record", "3"}) {
    ASSERT_TRUE(queue.Append(text, static_cast<uint32_t>(std::string(text).size())));
  }
  for (const char* text : {"first", "second record", "3"}) {
    ASSERT_EQ(queue.SizeOf(0), std::string(text).size());
    std::string read(queue.SizeOf(0), '\0');
    ASSERT_TRUE(queue.Get(read.data(), static_cast<uint32_t>(read.size()), true, 0));
    EXPECT_EQ(read, text);
  }
  EXPECT_EQ(queue.Count(), 0u);
  char byte;
  EXPECT_FALSE(queue.Get(&byte, 1, true, 0));
  EXPECT_EQ(queue.GetStatus(), kStatusTableEmpty);
}

TEST(RecordQueueTest, GrowsAndShrinksByChunksOfPageOverTwelve) {
  RecordQueue queue(true, kPage);
  EXPECT_EQ(queue.ChunkSize(), 341u);
  for (uint32_t i = 0; i < 340; ++i) ASSERT_TRUE(queue.Append(&i, sizeof(i)));
  EXPECT_EQ(queue.ChunkCount(), 1u);
  uint32_t next = 340;
  ASSERT_TRUE(queue.Append(&next, sizeof(next)));  // count 340 = capacity - 1
  EXPECT_EQ(queue.ChunkCount(), 2u);
  EXPECT_EQ(queue.Capacity(), 682u);
  // 341 - 5 = 336: the queue shrinks when it falls below 336 records.
  for (uint32_t expected = 0; queue.Count() > 336; ++expected) {
    uint32_t value = 0;
    ASSERT_TRUE(queue.Get(&value, sizeof(value), true, 0));
    ASSERT_EQ(value, expected);
  }
  EXPECT_EQ(queue.ChunkCount(), 2u);
  ASSERT_TRUE(queue.Delete(0));
  EXPECT_EQ(queue.ChunkCount(), 1u);
  uint32_t value = 0;
  ASSERT_TRUE(queue.Get(&value, sizeof(value), false, 0));
  EXPECT_EQ(value, 6u);
}

TEST(RecordQueueTest, ReportsErrorCodes) {
  RecordQueue queue(false, kPage);
  uint32_t value = 1;
  EXPECT_FALSE(queue.Append(nullptr, 4));
  EXPECT_EQ(queue.GetStatus(), kStatusBadArgument);
  EXPECT_FALSE(queue.Append(&value, 0));
  EXPECT_EQ(queue.GetStatus(), kStatusBadArgument);
  EXPECT_FALSE(queue.Delete(0));
  EXPECT_EQ(queue.GetStatus(), kStatusTableEmpty);
  EXPECT_EQ(queue.SizeOf(0), 0u);
  EXPECT_EQ(queue.GetStatus(), kStatusTableEmpty);
  ASSERT_TRUE(queue.Append(&value, 4));
  EXPECT_FALSE(queue.Get(&value, 4, false, 1));
  EXPECT_EQ(queue.GetStatus(), kStatusIndexOutOfRange);
  EXPECT_FALSE(queue.Delete(5));
  EXPECT_EQ(queue.GetStatus(), kStatusIndexOutOfRange);
  EXPECT_EQ(queue.Count(), 1u);
}

TEST(RecordQueueTest, GetCopiesNoMoreThanBuffer) {
  RecordQueue queue(false, kPage);
  ASSERT_TRUE(queue.Append("abcdef", 6));
  char buffer[3];
  uint32_t copied = 0;
  ASSERT_TRUE(queue.Get(buffer, sizeof(buffer), false, 0, &copied));
  EXPECT_EQ(copied, 3u);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(queue.Count(), 1u);
}

TEST(RecordQueueTest, ClearEmptiesAndStaysUsable) {
  RecordQueue queue(true, kPage);
  for (uint32_t i = 0; i < 1000; ++i) ASSERT_TRUE(queue.Append(&i, sizeof(i)));
  ASSERT_TRUE(queue.Clear());
  EXPECT_EQ(queue.Count(), 0u);
  EXPECT_EQ(queue.ChunkCount(), 1u);
  uint32_t value = 5;
  ASSERT_TRUE(queue.Append(&value, sizeof(value)));
  EXPECT_EQ(queue.Count(), 1u);
}

}  // namespace
}  // namespace kolvar
