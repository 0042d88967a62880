// KVVirusDBDet.dat: records written and read back byte for byte, lookups by id, fields cut to
// their size, and the not-found record.
#include "scan_engine/virus_details.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

constexpr char16_t kPath[] = u"\\Program Files\\KVVirusDBDet.dat";

VirusDetailRecord Detail(uint32_t id, std::u16string_view name) {
  VirusDetailRecord record;
  MakeVirusDetailRecord(id, name, u"what it does", u"what to do", &record);
  return record;
}

TEST(VirusDetails, RecordLayoutIsTheFilesLayout) {
  VirusDetailRecord record = Detail(0x01020304, u"Nm");
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  EXPECT_EQ(bytes[0], 0x04);
  EXPECT_EQ(bytes[4], 'N');
  EXPECT_EQ(bytes[5], 0);
  EXPECT_EQ(bytes[144], 'w');
  EXPECT_EQ(bytes[644], 'w');
  EXPECT_EQ(record.Recommendation(), u"what to do");
}

TEST(VirusDetails, TextsAreCutToTheirFields) {
  VirusDetailRecord record;
  EXPECT_TRUE(MakeVirusDetailRecord(1, std::u16string(69, u'n'), u"", u"", &record));
  EXPECT_EQ(record.Name().size(), 69u);
  EXPECT_FALSE(MakeVirusDetailRecord(1, std::u16string(70, u'n'), std::u16string(300, u'd'),
                                     std::u16string(250, u'r'), &record));
  EXPECT_EQ(record.Name().size(), 69u);
  EXPECT_EQ(record.Description().size(), 249u);
  EXPECT_EQ(record.Recommendation().size(), 199u);
  // A damaged record without terminators still reads within its fields.
  std::memset(record.name, 'x', sizeof(record.name));
  EXPECT_EQ(record.Name().size(), 70u);
}

TEST(VirusDetails, WrittenRecordsAreFoundByIdFirstOneWins) {
  testing::TestDevice device;
  const std::vector<VirusDetailRecord> records = {Detail(7, u"Seven"), Detail(8, u"Eight"),
                                                  Detail(7, u"Later seven"), Detail(9, u"Last")};
  ASSERT_TRUE(WriteVirusDetails(kPath, records));
  EXPECT_EQ(device.ReadFile(kPath).size(), 4 * kVirusDetailRecordSize);
  VirusDetailRecord found;
  ASSERT_TRUE(LookUpVirusDetail(kPath, 7, &found));
  EXPECT_EQ(found.Name(), u"Seven");
  ASSERT_TRUE(LookUpVirusDetail(kPath, 9, &found));  // the last record
  EXPECT_EQ(found.Name(), u"Last");
  EXPECT_FALSE(LookUpVirusDetail(kPath, 10, &found));
  EXPECT_EQ(found.virus_id, 0u);
  EXPECT_EQ(found.Name(), u"");
  std::vector<VirusDetailRecord> back;
  ASSERT_TRUE(ReadVirusDetails(kPath, &back));
  ASSERT_EQ(back.size(), records.size());
  EXPECT_EQ(std::memcmp(back.data(), records.data(), 4 * sizeof(VirusDetailRecord)), 0);
}

TEST(VirusDetails, TrailingPartialRecordAndMissingFile) {
  testing::TestDevice device;
  ASSERT_TRUE(WriteVirusDetails(kPath, {Detail(1, u"One"), Detail(2, u"Two")}));
  std::string bytes = device.ReadFile(kPath);
  bytes.resize(kVirusDetailRecordSize + 1043);
  device.WriteFile(kPath, bytes);
  std::vector<VirusDetailRecord> back;
  ASSERT_TRUE(ReadVirusDetails(kPath, &back));
  EXPECT_EQ(back.size(), 1u);
  VirusDetailRecord found;
  EXPECT_FALSE(LookUpVirusDetail(kPath, 2, &found));
  EXPECT_FALSE(LookUpVirusDetail(u"\\nowhere.dat", 1, &found));
  EXPECT_EQ(found.virus_id, 0u);
  EXPECT_FALSE(ReadVirusDetails(u"\\nowhere.dat", &back));
}

}  // namespace
}  // namespace kolvar
