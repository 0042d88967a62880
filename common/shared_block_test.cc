// Shared blocks in one program: bounds, first and second opener, argument checks and scratch
// block counters.
#include "common/shared_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/object_names.h"
#include "platform/kernel_objects.h"
#include "platform/process.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

class SharedBlockTest : public ::testing::Test {
 protected:
  kolvar::testing::TestDevice device_;
};

TEST_F(SharedBlockTest, EightByteBlockTakesEightBytesNotNine) {
  SharedBlock block(u"SHD_TEST", 8);
  ASSERT_TRUE(block.IsReady());
  const unsigned char data[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_TRUE(block.Write(data, 8));
  EXPECT_FALSE(block.Write(data, 9));
  EXPECT_EQ(block.GetStatus(), kStatusSharedBlockOverrun);
  unsigned char read[9] = {};
  EXPECT_FALSE(block.Read(read, 9));
  EXPECT_EQ(block.GetStatus(), kStatusSharedBlockOverrun);
  EXPECT_TRUE(block.Read(read, 8));
  EXPECT_EQ(std::memcmp(read, data, 8), 0);
  EXPECT_EQ(read[8], 0);
}

TEST_F(SharedBlockTest, FirstOpenerSeesNewZeroedBlockSecondSeesData) {
  SharedBlock first(u"SHD_TEST", 8);
  ASSERT_TRUE(first.IsReady());
  EXPECT_TRUE(first.IsNew());
  EXPECT_EQ(first.mutex_name(), u"_@SHD_TEST@_");
  unsigned char read[8];
  std::memset(read, 0xEE, sizeof(read));
  ASSERT_TRUE(first.Read(read, 8));
  for (unsigned char byte : read) EXPECT_EQ(byte, 0);
  const unsigned char data[8] = {8, 7, 6, 5, 4, 3, 2, 1};
  ASSERT_TRUE(first.Write(data, 8));

  SharedBlock second(u"SHD_TEST", 8);
  ASSERT_TRUE(second.IsReady());
  EXPECT_FALSE(second.IsNew());
  ASSERT_TRUE(second.Read(read, 8));
  EXPECT_EQ(std::memcmp(read, data, 8), 0);
  EXPECT_EQ(std::memcmp(second.Data(), data, 8), 0);
}

TEST_F(SharedBlockTest, BlockVanishesWithLastHolder) {
  {
    SharedBlock block(u"SHD_GONE", 16);
    ASSERT_TRUE(block.IsNew());
    ASSERT_TRUE(block.Write("0123456789abcdef", 16));
  }
  SharedBlock again(u"SHD_GONE", 16);
  ASSERT_TRUE(again.IsReady());
  EXPECT_TRUE(again.IsNew());
  char read[16];
  ASSERT_TRUE(again.Read(read, 16));
  EXPECT_EQ(std::vector<char>(read, read + 16), std::vector<char>(16, '\0'));
}

TEST_F(SharedBlockTest, RefusesBadArgumentsAndAnswersNotReady) {
  struct Case {
    std::u16string_view name;
    uint32_t size;
    Status status;
  };
  const Case cases[] = {
      {u"", 8, kStatusBadArgument},
      {u"SHD_ZERO", 0, kStatusBadArgument},
      {u"N234567890123456789012345678901", 8, kStatusOk},            // 31 characters
      {u"N2345678901234567890123456789012", 8, kStatusBadArgument},  // 32 characters
  };
  for (const Case& c : cases) {
    SharedBlock block(c.name, c.size);
    EXPECT_EQ(block.GetStatus(), c.status) << c.name.size();
    EXPECT_EQ(block.IsReady(), c.status == kStatusOk);
    if (c.status != kStatusOk) {
      char byte = 0;
      EXPECT_FALSE(block.Write(&byte, 1));
      EXPECT_EQ(block.GetStatus(), kStatusNotReady);
      EXPECT_FALSE(block.Read(&byte, 1));
      EXPECT_EQ(block.GetStatus(), kStatusNotReady);
      EXPECT_EQ(block.Data(), nullptr);
    }
  }
}

TEST_F(SharedBlockTest, LargerThanExistingBlockFails) {
  SharedBlock small(u"SHD_SMALL", 8);
  ASSERT_TRUE(small.IsReady());
  SharedBlock large(u"SHD_SMALL", 64);
  EXPECT_FALSE(large.IsReady());
  EXPECT_EQ(large.GetStatus(), kStatusSharedBlockCreateFailed);
}

TEST_F(SharedBlockTest, CallerHoldingTheLockPassesAlreadyLocked) {
  SharedBlock block(u"SHD_LOCKED", 4);
  block.Lock();
  EXPECT_TRUE(block.Write("abcd", 4, true));
  char read[4];
  EXPECT_TRUE(block.Read(read, 4, true));
  block.Unlock();
  EXPECT_EQ(std::string(read, 4), "abcd");
}

TEST_F(SharedBlockTest, ScratchBlocksRequestedTogetherGetCountersZeroAndOne) {
  const uint32_t pid = static_cast<uint32_t>(platform::CurrentProcessId());
  Status status = kStatusBadArgument;
  std::unique_ptr<SharedBlock> first = ObtainScratchBlock(100000, &status);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(status, kStatusOk);
  std::unique_ptr<SharedBlock> second = ObtainScratchBlock(100);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->Name(), ScratchBlockName(pid, 0));
  EXPECT_EQ(second->Name(), ScratchBlockName(pid, 1));
  EXPECT_TRUE(first->IsNew());
  std::vector<char> big(100000, 'q');
  EXPECT_TRUE(first->Write(big.data(), 100000));
  first.reset();
  std::unique_ptr<SharedBlock> third = ObtainScratchBlock(10);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->Name(), ScratchBlockName(pid, 0));

  std::unique_ptr<SharedBlock> none = ObtainScratchBlock(0, &status);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(status, kStatusBadArgument);
}

}  // namespace
}  // namespace kolvar
