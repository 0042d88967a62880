// Sorted table: chunk growth and shrinking at the stated edges (4096-byte pages), order against an
// independent oracle, search, cursor and error codes.
#include "common/sorted_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/status.h"

namespace kolvar {
namespace {

constexpr uint32_t kPage = 4096;

struct Key4 {
  unsigned char bytes[4];
};

Key4 BigEndianKey(uint32_t value) {
  return Key4{{static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
               static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)}};
}

bool AddNumber(SortedTable& table, uint32_t value, bool no_sort = false) {
  const Key4 key = BigEndianKey(value);
  return table.Add(&value, sizeof(value), key.bytes, no_sort);
}

uint32_t NumberAt(SortedTable& table, uint32_t index) {
  uint32_t value = 0;
  EXPECT_TRUE(table.Get(&value, sizeof(value), false, index));
  return value;
}

TEST(SortedTableTest, ChunkHoldsPageOverTwentySlots) {
  SortedTable table(4, false, kPage);
  EXPECT_EQ(table.GetStatus(), kStatusOk);
  EXPECT_EQ(table.ChunkSize(), 204u);
  EXPECT_EQ(table.Capacity(), 204u);
  EXPECT_EQ(table.ChunkCount(), 1u);
}

TEST(SortedTableTest, GrowsWhenCountReachesCapacityLessOne) {
  SortedTable table(4, false, kPage);
  for (uint32_t i = 0; i < 203; ++i) ASSERT_TRUE(AddNumber(table, i, true));
  EXPECT_EQ(table.ChunkCount(), 1u);         // 203 records: one chunk still
  ASSERT_TRUE(AddNumber(table, 203, true));  // count 203 = capacity - 1: the 204th grows
  EXPECT_EQ(table.ChunkCount(), 2u);
  EXPECT_EQ(table.Capacity(), 408u);
  for (uint32_t i = 0; i < 204; ++i) EXPECT_EQ(NumberAt(table, i), i);
}

TEST(SortedTableTest, ShrinksBelowOneChunkLessFive) {
  SortedTable table(4, true, kPage);
  for (uint32_t i = 0; i < 204; ++i) ASSERT_TRUE(AddNumber(table, i));
  ASSERT_EQ(table.ChunkCount(), 2u);
  while (table.Count() > 199) ASSERT_TRUE(table.Delete(0));
  EXPECT_EQ(table.ChunkCount(), 2u);  // 199 records: not yet below 204 - 5
  ASSERT_TRUE(table.Delete(0));
  EXPECT_EQ(table.Count(), 198u);
  EXPECT_EQ(table.ChunkCount(), 1u);
  EXPECT_EQ(table.Capacity(), 204u);
  for (uint32_t i = 0; i < 198; ++i) EXPECT_EQ(NumberAt(table, i), i + 6);
}

TEST(SortedTableTest, GrowsAndShrinksOverManyChunks) {
  SortedTable table(4, true, kPage);
  for (uint32_t i = 0; i < 2000; ++i) ASSERT_TRUE(AddNumber(table, 1999 - i, true));
  ASSERT_TRUE(table.Sort());
  EXPECT_EQ(table.ChunkCount(), 10u);
  for (uint32_t i = 0; i < 2000; ++i) ASSERT_EQ(NumberAt(table, i), i);
  while (table.Count() > 0) ASSERT_TRUE(table.Delete(table.Count() - 1));
  EXPECT_EQ(table.ChunkCount(), 1u);
}

// The order after random inserts matches an ordered multiset of the keys, in both orders and
// whether records are added one by one or in bulk and sorted once.
TEST(SortedTableTest, OrderMatchesOracle) {
  std::mt19937 random(7);
  for (bool descending : {false, true}) {
    for (bool bulk : {false, true}) {
      SortedTable table(4, false, kPage);
      if (descending) table.SetOrder(SortOrder::kDescending);
      std::multiset<uint32_t> oracle;
      for (int i = 0; i < 700; ++i) {
        const uint32_t value = random() % 500;
        ASSERT_TRUE(AddNumber(table, value, bulk));
        oracle.insert(value);
      }
      if (bulk) {
        ASSERT_TRUE(table.Sort());
      }
      std::vector<uint32_t> expected(oracle.begin(), oracle.end());
      if (descending) std::reverse(expected.begin(), expected.end());
      ASSERT_EQ(table.Count(), expected.size());
      for (uint32_t i = 0; i < table.Count(); ++i) {
        ASSERT_EQ(NumberAt(table, i), expected[i])
            << "descending " << descending << " bulk " << bulk;
      }
    }
  }
}

TEST(SortedTableTest, AddLeavesCursorOnNewRecord) {
  SortedTable table(4, false, kPage);
  for (uint32_t value : {50u, 10u, 30u, 20u, 40u}) {
    ASSERT_TRUE(AddNumber(table, value));
    uint32_t at_cursor = 0;
    ASSERT_TRUE(table.Get(&at_cursor, sizeof(at_cursor)));
    EXPECT_EQ(at_cursor, value);
  }
}

TEST(SortedTableTest, FindMovesCursorOnlyWhenFound) {
  SortedTable table(4, false, kPage);
  Key4 key = BigEndianKey(5);
  EXPECT_FALSE(table.Find(key.bytes));
  EXPECT_EQ(table.GetStatus(), kStatusTableEmpty);

  for (uint32_t value = 0; value < 100; value += 2) ASSERT_TRUE(AddNumber(table, value));
  ASSERT_TRUE(table.SetCursor(7));
  for (uint32_t missing : {1u, 51u, 99u, 1000u}) {
    key = BigEndianKey(missing);
    EXPECT_FALSE(table.Find(key.bytes));
    EXPECT_EQ(table.GetStatus(), kStatusNotFound);
    EXPECT_EQ(table.Cursor(), 7u);
  }
  for (uint32_t value = 0; value < 100; value += 2) {
    key = BigEndianKey(value);
    ASSERT_TRUE(table.Find(key.bytes)) << value;
    EXPECT_EQ(table.Cursor(), value / 2);
  }
}

TEST(SortedTableTest, FindSeesRecordsAddedWithoutSorting) {
  SortedTable table(4, false, kPage);
  for (uint32_t value : {9u, 3u, 7u, 1u, 5u}) ASSERT_TRUE(AddNumber(table, value, true));
  for (uint32_t value : {9u, 3u, 7u, 1u, 5u}) {
    const Key4 key = BigEndianKey(value);
    ASSERT_TRUE(table.Find(key.bytes)) << value;
    EXPECT_EQ(NumberAt(table, table.Cursor()), value);
  }
}

TEST(SortedTableTest, GetCopiesNoMoreThanBufferAndZeroFillsRest) {
  SortedTable table(4, false, kPage);
  const char record[] = "0123456789";
  const Key4 key = BigEndianKey(1);
  ASSERT_TRUE(table.Add(record, 10, key.bytes));
  char small[4] = {'x', 'x', 'x', 'x'};
  uint32_t copied = 0;
  EXPECT_TRUE(table.Get(small, sizeof(small), false, kAtCursor, &copied));
  EXPECT_EQ(copied, 4u);
  EXPECT_EQ(std::string(small, 4), "0123");
  char large[16];
  std::memset(large, 'x', sizeof(large));
  EXPECT_TRUE(table.Get(large, sizeof(large), false, 0, &copied));
  EXPECT_EQ(copied, 10u);
  EXPECT_EQ(std::string(large, 10), "0123456789");
  EXPECT_EQ(std::string(large + 10, 6), std::string(6, '\0'));
}

TEST(SortedTableTest, ReportsErrorCodes) {
  SortedTable table(4, false, kPage);
  uint32_t value = 1;
  const Key4 key = BigEndianKey(1);
  struct Case {
    const char* what;
    std::function<bool()> call;
    Status status;
  };
  const Case empty_cases[] = {
      {"get from empty", [&] { return table.Get(&value, 4); }, kStatusTableEmpty},
      {"delete from empty", [&] { return table.Delete(0); }, kStatusTableEmpty},
      {"cursor in empty", [&] { return table.SetCursor(0); }, kStatusTableEmpty},
      {"add without record", [&] { return table.Add(nullptr, 4, key.bytes); }, kStatusBadArgument},
      {"add of size 0", [&] { return table.Add(&value, 0, key.bytes); }, kStatusBadArgument},
      {"add without key", [&] { return table.Add(&value, 4, nullptr); }, kStatusBadArgument},
      {"key length 0", [&] { return table.SetKeyLength(0); }, kStatusKeyLengthMissing},
  };
  for (const Case& c : empty_cases) {
    EXPECT_FALSE(c.call()) << c.what;
    EXPECT_EQ(table.GetStatus(), c.status) << c.what;
  }
  ASSERT_TRUE(table.Add(&value, 4, key.bytes));
  const Case one_record_cases[] = {
      {"get beyond the end", [&] { return table.Get(&value, 4, false, 1); },
       kStatusIndexOutOfRange},
      {"cursor beyond the end", [&] { return table.SetCursor(1); }, kStatusIndexOutOfRange},
      {"update beyond the end", [&] { return table.Update(&value, 4, 3); }, kStatusIndexOutOfRange},
      {"key length of a filled table", [&] { return table.SetKeyLength(8); }, kStatusNotReady},
      {"size beyond the end", [&] { return table.SizeOf(2) != 0; }, kStatusIndexOutOfRange},
      {"get into no buffer", [&] { return table.Get(nullptr, 4); }, kStatusBadArgument},
  };
  for (const Case& c : one_record_cases) {
    EXPECT_FALSE(c.call()) << c.what;
    EXPECT_EQ(table.GetStatus(), c.status) << c.what;
  }
  EXPECT_EQ(table.Count(), 1u);
}

TEST(SortedTableTest, UniqueTableRefusesDuplicateKey) {
  SortedTable table(4, false, kPage);
  table.SetUnique(true);
  for (bool no_sort : {false, true}) {
    ASSERT_TRUE(table.Clear());
    ASSERT_TRUE(AddNumber(table, 1, no_sort));
    ASSERT_TRUE(AddNumber(table, 2, no_sort));
    EXPECT_FALSE(AddNumber(table, 1, no_sort));
    EXPECT_EQ(table.GetStatus(), kStatusDuplicateKey);
    EXPECT_EQ(table.Count(), 2u);
  }
  SortedTable plain(4, false, kPage);
  ASSERT_TRUE(AddNumber(plain, 1));
  EXPECT_TRUE(AddNumber(plain, 1));
  EXPECT_EQ(plain.Count(), 2u);
}

TEST(SortedTableTest, UpdateReplacesRecordOfAnySize) {
  SortedTable table(4, true, kPage);
  const Key4 key = BigEndianKey(1);
  ASSERT_TRUE(table.Add("abc", 3, key.bytes));
  for (const std::string& text :
       {std::string("xyz"), std::string("longer record"), std::string("s")}) {
    ASSERT_TRUE(table.Update(text.data(), static_cast<uint32_t>(text.size())));
    EXPECT_EQ(table.SizeOf(), text.size());
    std::string read(text.size(), '\0');
    ASSERT_TRUE(table.Get(read.data(), static_cast<uint32_t>(read.size())));
    EXPECT_EQ(read, text);
  }
}

TEST(SortedTableTest, DeleteClampsCursorToLastRecord) {
  SortedTable table(4, false, kPage);
  for (uint32_t value = 0; value < 5; ++value) ASSERT_TRUE(AddNumber(table, value));
  ASSERT_TRUE(table.SetCursor(4));
  ASSERT_TRUE(table.Delete());
  EXPECT_EQ(table.Cursor(), 3u);
  ASSERT_TRUE(table.SetCursor(1));
  ASSERT_TRUE(table.Delete());
  EXPECT_EQ(table.Cursor(), 1u);
  EXPECT_EQ(NumberAt(table, 1), 2u);
}

TEST(SortedTableTest, GetWithRemoveTakesRecordOut) {
  SortedTable table(4, false, kPage);
  for (uint32_t value = 0; value < 3; ++value) ASSERT_TRUE(AddNumber(table, value));
  uint32_t value = 99;
  ASSERT_TRUE(table.Get(&value, sizeof(value), true, 0));
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(table.Count(), 2u);
  EXPECT_EQ(NumberAt(table, 0), 1u);
}

TEST(SortedTableTest, GetKeyCopiesKeyBytes) {
  SortedTable table(4, false, kPage);
  ASSERT_TRUE(AddNumber(table, 0x01020304));
  unsigned char key[6];
  std::memset(key, 0xEE, sizeof(key));
  ASSERT_TRUE(table.GetKey(key, sizeof(key)));
  const unsigned char expected[6] = {1, 2, 3, 4, 0, 0};
  EXPECT_EQ(std::memcmp(key, expected, sizeof(key)), 0);
}

TEST(SortedTableTest, TextKeysSortAndFindWithoutRegardToCase) {
  SortedTable table(64, true, kPage);
  table.SetSortComparison(CompareTextNoCase);
  table.SetSearchComparison(CompareTextNoCase);
  table.SetUnique(true);
  auto key_of = [](std::u16string_view text) {
    std::u16string key(32, u'\0');
    key.replace(0, text.size(), text);
    return key;
  };
  for (std::u16string_view name : {u"UPDATES", u"basic", u"Config"}) {
    const std::u16string key = key_of(name);
    ASSERT_TRUE(table.Add(name.data(), static_cast<uint32_t>(name.size() * 2), key.data()));
  }
  EXPECT_FALSE(table.Add(u"x", 2, key_of(u"CONFIG").data()));
  EXPECT_EQ(table.GetStatus(), kStatusDuplicateKey);
  const char16_t* expected[] = {u"basic", u"Config", u"UPDATES"};
  for (uint32_t i = 0; i < 3; ++i) {
    std::u16string key(32, u'\0');
    ASSERT_TRUE(table.GetKey(key.data(), 64, i));
    EXPECT_EQ(std::u16string(key.c_str()), expected[i]);
  }
  ASSERT_TRUE(table.Find(key_of(u"updates").data()));
  EXPECT_EQ(table.Cursor(), 2u);
}

TEST(SortedTableTest, CopyToGivesSortedCopyWithKeyLength) {
  SortedTable source(4, false, kPage);
  SortedTable target(16, true, kPage);
  EXPECT_FALSE(source.CopyTo(&target));
  EXPECT_EQ(source.GetStatus(), kStatusTableEmpty);
  const unsigned char wide_key[16] = {77};
  const uint32_t stale = 77;
  ASSERT_TRUE(target.Add(&stale, sizeof(stale), wide_key));  // emptied by the copy
  for (uint32_t value : {3u, 1u, 2u}) ASSERT_TRUE(AddNumber(source, value));
  ASSERT_TRUE(source.CopyTo(&target));
  EXPECT_EQ(target.KeyLength(), 4u);
  ASSERT_EQ(target.Count(), 3u);
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(NumberAt(target, i), i + 1);
  EXPECT_EQ(source.Count(), 3u);
}

TEST(SortedTableTest, ClearEmptiesAndStaysUsable) {
  SortedTable table(4, true, kPage);
  for (uint32_t value = 0; value < 500; ++value) ASSERT_TRUE(AddNumber(table, value));
  ASSERT_TRUE(table.Clear());
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_EQ(table.ChunkCount(), 1u);
  ASSERT_TRUE(AddNumber(table, 9));
  EXPECT_EQ(NumberAt(table, 0), 9u);
}

TEST(SortedTableTest, DefaultPageSizeGivesWholeChunks) {
  SortedTable table(4);
  EXPECT_EQ(table.GetStatus(), kStatusOk);
  EXPECT_GE(table.ChunkSize(), 2u);
  EXPECT_EQ(table.Capacity(), table.ChunkSize());
}

}  // namespace
}  // namespace kolvar
