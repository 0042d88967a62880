// The scanner's start-up on a damaged signature database: one that yields no usable signature is
// told in a box and ends the scanner before it connects (it would report every file clean); one
// from which records were skipped, or whose last record is cut short, is told in a warning box
// and the scanner runs with the signatures that loaded; a sound one is taken silently.
#include <string>

#include "bkgscan/scanner_texts.h"
#include "ipc/ipc_names.h"
#include "platform/kernel_objects.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "scan_engine/file_type_classes.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/signature_database.h"
#include "tests/bkgscan/scanner_test_support.h"

namespace kolvar {
namespace {

constexpr char16_t kDatabase[] = u"\\Program Files\\Kolvar\\KVVirusDB.dat";

std::string EmptyPatternRecord() {
  SignatureRecord record{};
  record.virus_id = 77;
  record.type_mask = kAnyFileClass;
  uint8_t stored[kSignatureRecordSize];
  EncodeSignatureRecord(record, stored);
  return std::string(reinterpret_cast<const char*>(stored), sizeof(stored));
}

std::string Noise(size_t size) {
  std::string bytes(size, '\0');
  uint32_t seed = 99;
  for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
  return bytes;
}

// The box the scanner shows for `bytes`, with the reasons the load gives for them.
std::u16string ExpectedText(std::u16string_view message, const std::string& bytes) {
  SignatureDatabase database;
  database.LoadFromBytes({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
  return std::u16string(message) + u"\n" + kSignatureDatabaseName + u": " +
         platform::Utf8ToUtf16Lossy(DescribeSignatureLoad(database.report()));
}

using ScannerDatabaseTest = ScannerTest;

TEST_F(ScannerDatabaseTest, DamagedDatabaseIsToldAtStartUp) {
  WriteConfiguration(0, 0);
  StartService();
  ConnectAs(u"PROBE", false);
  const std::string sound = device_.ReadFile(kDatabase);  // two records
  ASSERT_EQ(sound.size(), 2 * kSignatureRecordSize);
  const struct {
    const char* what;
    std::string bytes;
    bool runs;  // false: no usable signature, the scanner ends
  } kCases[] = {
      {"empty", "", false},
      {"one byte", sound.substr(0, 1), false},
      {"331 bytes", sound.substr(0, 331), false},
      {"random bytes", Noise(1000), false},
      {"only an empty pattern", EmptyPatternRecord(), false},
      {"cut inside the last record", sound.substr(0, 332 + 200), true},
      {"an empty pattern among signatures", EmptyPatternRecord() + sound, true},
      {"sound", sound, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    device_.WriteFile(kDatabase, c.bytes);
    const size_t boxes_before = Boxes().size();
    platform::Process scanner = StartScanner();
    if (!c.runs) {
      EXPECT_EQ(ExitCodeWithin(scanner), 0u);
      EXPECT_TRUE(WaitForBox(ScannerBox(ExpectedText(kDatabaseUnusableMessage, c.bytes))));
      EXPECT_FALSE(channel().IsRegistered(kScannerChannel));
      EXPECT_EQ(Boxes().size(), boxes_before + 1);
      continue;
    }
    ASSERT_TRUE(
        WaitUntil([&] { return channel().IsRegistered(kScannerChannel) || !scanner.IsAlive(); }));
    EXPECT_TRUE(scanner.IsAlive());
    if (c.bytes == sound) {
      EXPECT_EQ(Boxes().size(), boxes_before);
    } else {
      EXPECT_TRUE(WaitForBox(
          ScannerBox(ExpectedText(kDatabaseDamagedMessage, c.bytes), platform::kMbIconWarning)));
      EXPECT_EQ(Boxes().size(), boxes_before + 1);
    }
    platform::Event stop;
    ASSERT_TRUE(stop.Open(kScannerEventName) && stop.Set());
    EXPECT_EQ(ExitCodeWithin(scanner), 0u);
    EXPECT_TRUE(WaitUntil([&] { return !channel().IsRegistered(kScannerChannel); }));
  }
}

// The signatures that did load still detect: a record cut short costs only itself.
TEST_F(ScannerDatabaseTest, RecordsBeforeACutStillDetect) {
  WriteConfiguration(0, 0);
  const std::string sound = device_.ReadFile(kDatabase);
  device_.WriteFile(kDatabase, sound.substr(0, 332 + 100));  // virus A whole, virus B cut
  device_.WriteFile(u"\\Scan\\a.bin", InfectedBytes(4000, kVirusA));
  device_.WriteFile(u"\\Scan\\b.bin", InfectedBytes(4000, kVirusB));
  StartService();
  ConnectAs();
  platform::Process scanner = StartConnectedScanner();
  ASSERT_TRUE(Attach(u"\\Scan").has_value());
  Send(MakeScanCommand(kCommandStart));
  std::vector<ScanStatus> progress;
  ASSERT_TRUE(NextStatusOfType(kMessageScanComplete, &progress).has_value());
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back().files_tested, 2u);
  EXPECT_EQ(progress.back().infected_files, 1u);
  const std::vector<InfectionRecord> records = ResultRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].virus_id, kVirusA);
}

}  // namespace
}  // namespace kolvar
