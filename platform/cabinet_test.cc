// Cabinets written and read back whole, and the cabinets that must be refused: cut short, damaged
// in their compressed data, or not cabinets at all.
#include "platform/cabinet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kolvar::platform {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<CabinetFile> SampleFiles() {
  std::vector<uint8_t> large(300000);
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>((i * 7919) >> 3);
  return {{"kvpackage.txt", Bytes("KVVirusDB.dat\t#temp#\\KVUpdate\n")},
          {"KVVirusDB.dat", large},
          {"empty.dat", {}}};
}

TEST(CabinetTest, WrittenFilesReadBackInOrder) {
  std::vector<uint8_t> cabinet;
  std::string error;
  ASSERT_TRUE(WriteCabinet(SampleFiles(), &cabinet, &error)) << error;
  EXPECT_EQ(std::string(cabinet.begin(), cabinet.begin() + 4), "MSCF");
  EXPECT_LT(cabinet.size(), 300000u);  // compressed

  std::vector<CabinetFile> files;
  ASSERT_TRUE(ReadCabinet(cabinet, &files, &error)) << error;
  const std::vector<CabinetFile> expected = SampleFiles();
  ASSERT_EQ(files.size(), expected.size());
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(files[i].name, expected[i].name);
    EXPECT_EQ(files[i].bytes, expected[i].bytes) << files[i].name;
  }
}

TEST(CabinetTest, UnreadableCabinetsAreRefusedWithNothingReturned) {
  std::vector<uint8_t> good;
  std::string error;
  ASSERT_TRUE(WriteCabinet(SampleFiles(), &good, &error)) << error;
  std::vector<uint8_t> cut(good.begin(), good.begin() + good.size() / 2);
  std::vector<uint8_t> damaged = good;
  for (size_t i = good.size() - 200; i < good.size() - 100; ++i) damaged[i] ^= 0x5A;
  std::vector<uint8_t> header_only(good.begin(), good.begin() + 36);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty", {}},
      {"text", Bytes("this is no cabinet at all, only some text of sufficient length here")},
      {"cut in half", cut},
      {"damaged compressed data", damaged},
      {"header only", header_only},
  };
  for (const Case& c : cases) {
    std::vector<CabinetFile> files{{"left", {1}}};
    error.clear();
    EXPECT_FALSE(ReadCabinet(c.bytes, &files, &error)) << c.name;
    EXPECT_TRUE(files.empty()) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
}

}  // namespace
}  // namespace kolvar::platform
