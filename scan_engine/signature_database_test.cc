// The stored form of a record, the load rules (whole records only, empty and unsound lengths
// skipped and counted, a table beyond 16 slots, zero slots past the count), the report of a
// damaged file, and the database path rule.
#include "scan_engine/signature_database.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/error.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

SignatureRecord Plain(uint32_t id, int32_t length, uint32_t mask, uint8_t fill) {
  SignatureRecord record{};
  record.virus_id = id;
  record.length = length;
  record.type_mask = mask;
  std::memset(record.pattern, fill, sizeof(record.pattern));
  std::memset(record.reserved, 0xA5, sizeof(record.reserved));
  return record;
}

std::string Stored(const std::vector<SignatureRecord>& records) {
  std::string bytes;
  for (const SignatureRecord& record : records) {
    uint8_t stored[kSignatureRecordSize];
    EncodeSignatureRecord(record, stored);
    bytes.append(reinterpret_cast<const char*>(stored), sizeof(stored));
  }
  return bytes;
}

TEST(SignatureRecordForm, ScramblingXorsEachByteWithItsPositionPlusOne) {
  uint8_t bytes[kSignatureRecordSize] = {};
  ScrambleSignatureRecord(bytes);
  EXPECT_EQ(bytes[0], 0x01);
  EXPECT_EQ(bytes[254], 0xFF);
  EXPECT_EQ(bytes[255], 0x00);
  EXPECT_EQ(bytes[256], 0x01);
  EXPECT_EQ(bytes[331], (331 + 1) % 256);
  ScrambleSignatureRecord(bytes);  // its own inverse
  for (uint8_t b : bytes) EXPECT_EQ(b, 0);
}

TEST(SignatureRecordForm, FieldsAreLittleEndianAtTheirOffsets) {
  SignatureRecord record = Plain(0x11223344, 3, 0x10000001, 0x5A);
  uint8_t stored[kSignatureRecordSize];
  EncodeSignatureRecord(record, stored);
  ScrambleSignatureRecord(stored);  // back to the plain bytes
  EXPECT_EQ(stored[0], 0x44);
  EXPECT_EQ(stored[3], 0x11);
  EXPECT_EQ(stored[4], 0xA5);
  EXPECT_EQ(stored[68], 0x5A);
  EXPECT_EQ(stored[324], 3);
  EXPECT_EQ(stored[328], 0x01);
  EXPECT_EQ(stored[331], 0x10);
  ScrambleSignatureRecord(stored);
  const SignatureRecord back = DecodeSignatureRecord(stored);
  EXPECT_EQ(std::memcmp(&back, &record, sizeof(record)), 0);
}

class SignatureDatabaseLoad : public ::testing::Test {
 protected:
  static constexpr char16_t kPath[] = u"\\Program Files\\KVVirusDB.dat";
  testing::TestDevice device_;
  SignatureDatabase database_;
};

TEST_F(SignatureDatabaseLoad, KeepsWholeRecordsOnly) {
  const std::string two = Stored({Plain(1, 4, 0x10000000, 1), Plain(2, 5, 0x1, 2)});
  const struct {
    std::string bytes;
    uint32_t count;
  } kCases[] = {{"", 0},  {two.substr(0, 331), 0}, {two.substr(0, 332), 1},
                {two, 2}, {two + "x", 2},          {two + two.substr(0, 331), 2}};
  for (const auto& c : kCases) {
    device_.WriteFile(kPath, c.bytes);
    ASSERT_TRUE(database_.Load(kPath)) << c.bytes.size();
    EXPECT_EQ(database_.count(), c.count) << c.bytes.size();
    EXPECT_EQ(database_.skipped_count(), 0u);
    EXPECT_EQ(database_.report().partial_bytes, c.bytes.size() % kSignatureRecordSize);
  }
  EXPECT_EQ(database_.records()[1].virus_id, 2u);
  EXPECT_EQ(database_.records()[1].length, 5);
}

TEST_F(SignatureDatabaseLoad, GrowsPastSixteenSlotsInFileOrder) {
  std::vector<SignatureRecord> records;
  for (uint32_t i = 0; i < 1000; ++i) {
    records.push_back(Plain(5000 + i, int32_t(1 + i % 256), 1, i));
  }
  device_.WriteFile(kPath, Stored(records));
  ASSERT_TRUE(database_.Load(kPath));
  ASSERT_EQ(database_.count(), 1000u);
  for (uint32_t i = 0; i < 1000; ++i) {
    EXPECT_EQ(std::memcmp(&database_.records()[i], &records[i], sizeof(SignatureRecord)), 0);
  }
}

TEST_F(SignatureDatabaseLoad, SkipsAndCountsUnsoundLengths) {
  device_.WriteFile(kPath, Stored({Plain(1, -1, 1, 0), Plain(2, 0, 1, 0), Plain(3, 257, 1, 0),
                                   Plain(4, 256, 1, 0), Plain(5, 0x7FFFFFFF, 1, 0),
                                   Plain(6, INT32_MIN, 1, 0), Plain(7, 1, 1, 0)}));
  ASSERT_TRUE(database_.Load(kPath));
  ASSERT_EQ(database_.count(), 2u);
  EXPECT_EQ(database_.skipped_count(), 5u);
  EXPECT_EQ(database_.report().empty_patterns, 1u);
  EXPECT_EQ(database_.report().unsound_lengths, 4u);
  EXPECT_EQ(database_.records()[0].virus_id, 4u);
  EXPECT_EQ(database_.records()[1].virus_id, 7u);
}

// A record of length 0 would match every non-empty file it applies to; a database holding one
// had clean files deleted. It never takes a slot, wherever it lies and whatever it applies to.
TEST_F(SignatureDatabaseLoad, EmptyPatternIsNeverASignature) {
  device_.WriteFile(kPath, Stored({Plain(1, 0, 0x10000000, 0), Plain(2, 4, 0x10000000, 7),
                                   Plain(3, 0, 0xFFFFFFFF, 0x41)}));
  ASSERT_TRUE(database_.Load(kPath));
  ASSERT_EQ(database_.count(), 1u);
  EXPECT_EQ(database_.records()[0].virus_id, 2u);
  EXPECT_EQ(database_.report().empty_patterns, 2u);
  EXPECT_FALSE(database_.report().sound());
  EXPECT_TRUE(database_.report().usable());
  EXPECT_EQ(DescribeSignatureLoad(database_.report()),
            "2 of 3 records skipped (2 with an empty pattern)");
}

// What the load tells of files that are damaged in the ways files get damaged: cut short anywhere,
// emptied, overwritten with noise. The whole records before a cut still load.
TEST_F(SignatureDatabaseLoad, ReportTellsWhatADamagedFileLost) {
  const std::string three =
      Stored({Plain(1, 4, 0x10000000, 1), Plain(2, 5, 0x1, 2), Plain(3, 6, 0x10, 3)});
  std::string noise(1000, '\0');
  uint32_t seed = 12345;
  for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
  const struct {
    const char* what;
    std::string bytes;
    uint32_t loaded;
    bool usable, sound;
    std::string description;
  } kCases[] = {
      {"empty", "", 0, false, false, "the file is empty"},
      {"one byte", three.substr(0, 1), 0, false, false,
       "1 of 1 record skipped (1 cut short at the end of the file, 1 of 332 bytes), no usable "
       "signature"},
      {"331 bytes", three.substr(0, 331), 0, false, false,
       "1 of 1 record skipped (1 cut short at the end of the file, 331 of 332 bytes), no usable "
       "signature"},
      {"noise", noise, 0, false, false,
       "4 of 4 records skipped (3 with an impossible pattern length, 1 cut short at the end of "
       "the file, 4 of 332 bytes), no usable signature"},
      {"cut inside the last record", three.substr(0, 2 * 332 + 40), 2, true, false,
       "1 of 3 records skipped (1 cut short at the end of the file, 40 of 332 bytes)"},
      {"sound", three, 3, true, true, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    device_.WriteFile(kPath, c.bytes);
    ASSERT_TRUE(database_.Load(kPath));
    EXPECT_EQ(database_.count(), c.loaded);
    EXPECT_EQ(database_.report().loaded, c.loaded);
    EXPECT_EQ(database_.report().usable(), c.usable);
    EXPECT_EQ(database_.report().sound(), c.sound);
    EXPECT_EQ(DescribeSignatureLoad(database_.report()), c.description);
    for (uint32_t i = 0; i < c.loaded; ++i) EXPECT_EQ(database_.records()[i].virus_id, i + 1);
    // The same bytes held in memory give the same report.
    SignatureDatabase from_bytes;
    from_bytes.LoadFromBytes({reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()});
    EXPECT_EQ(DescribeSignatureLoad(from_bytes.report()), c.description);
  }
}

TEST_F(SignatureDatabaseLoad, SlotsPastTheCountReadAsZero) {
  device_.WriteFile(kPath, Stored({Plain(1, 3, 1, 0xEE), Plain(2, 3, 1, 0xEE)}));
  ASSERT_TRUE(database_.Load(kPath));
  device_.WriteFile(kPath, Stored({Plain(9, 2, 1, 0x77)}));
  ASSERT_TRUE(database_.Load(kPath));  // a reload zero-fills before reading
  ASSERT_EQ(database_.slot_count(), kSignatureTableMinSlots);
  const SignatureRecord zero{};
  for (size_t i = 1; i < database_.slot_count(); ++i) {
    EXPECT_EQ(std::memcmp(&database_.slot(i), &zero, sizeof(zero)), 0) << i;
  }
}

TEST_F(SignatureDatabaseLoad, MissingFileFailsWithAnEmptyTable) {
  device_.WriteFile(kPath, Stored({Plain(1, 3, 1, 0)}));
  ASSERT_TRUE(database_.Load(kPath));
  EXPECT_FALSE(database_.Load(u"\\Program Files\\Missing.dat"));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
  EXPECT_EQ(database_.count(), 0u);
  EXPECT_FALSE(SignatureDatabasePresent(u"\\Program Files\\Missing.dat"));
  EXPECT_TRUE(SignatureDatabasePresent(kPath));
}

TEST(SignatureDatabasePath, IsTheProgramsFolderAndTheFileName) {
  std::u16string path;
  ASSERT_TRUE(SignatureDatabasePathFor(u"\\Program Files\\Kolvar\\KVBkgScan", &path));
  EXPECT_EQ(path, u"\\Program Files\\Kolvar\\KVVirusDB.dat");
  ASSERT_TRUE(SignatureDatabasePathFor(u"\\KVBkgScan", &path));
  EXPECT_EQ(path, u"\\KVVirusDB.dat");
  // 246 + "\" + 13 = 260 characters: no room left for the terminator.
  const std::u16string deep = u"\\" + std::u16string(245, u'd') + u"\\KVBkgScan";
  EXPECT_FALSE(SignatureDatabasePathFor(deep, &path));
  const std::u16string fits = u"\\" + std::u16string(244, u'd') + u"\\KVBkgScan";
  ASSERT_TRUE(SignatureDatabasePathFor(fits, &path));
  EXPECT_EQ(path.size(), 259u);
}

}  // namespace
}  // namespace kolvar
