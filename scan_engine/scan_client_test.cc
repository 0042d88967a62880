// The scan channel's commands byte by byte, the receivers' decoding of what arrives, and the scan
// client where no scanner is needed: a
// client without a channel starts nothing and never waits, and closing it tells the user that
// background scanning goes on only when it does.
#include "scan_engine/scan_client.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "antivirus/engine_notices.h"
#include "platform/text.h"
#include "scan_engine/scan_channel.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

std::vector<uint8_t> Bytes(const ScanCommand& command) {
  const auto* data = reinterpret_cast<const uint8_t*>(&command);
  return std::vector<uint8_t>(data, data + sizeof(command));
}

TEST(ScanCommandTest, AttachCarriesTheFolderAtOffsetTenAndNothingElse) {
  const std::vector<uint8_t> bytes = Bytes(MakeAttachCommand(u"\\My Documents"));
  std::vector<uint8_t> expected(sizeof(ScanCommand), 0);
  expected[0] = 21;
  const std::u16string folder = u"\\My Documents";
  std::memcpy(expected.data() + 10, folder.data(), folder.size() * 2);
  EXPECT_EQ(bytes, expected);
}

TEST(ScanCommandTest, AttachCutsAFolderToADevicePathWithItsTerminator) {
  const ScanCommand command = MakeAttachCommand(std::u16string(400, u'x'));
  EXPECT_EQ(WideField(command.folder).size(), kPathFieldChars - 1);
}

TEST(ScanCommandTest, ActionReadsAsAThirtyTwoBitValueAtOffsetEight) {
  const std::vector<uint8_t> bytes = Bytes(MakeActionCommand(0x01020304, kActionMoveAll));
  std::vector<uint8_t> expected(sizeof(ScanCommand), 0);
  expected[0] = 20;
  const uint32_t virus_id = 0x01020304;
  std::memcpy(expected.data() + 4, &virus_id, 4);
  const uint32_t action = kActionMoveAll;
  std::memcpy(expected.data() + 8, &action, 4);
  EXPECT_EQ(bytes, expected);
}

class NoticeObserver : public MainProgramScanObserver {
 public:
  void ShowMessage(std::u16string_view caption, std::u16string_view text, uint32_t style) override {
    messages.push_back(platform::Utf16ToUtf8(caption) + "|" + platform::Utf16ToUtf8(text) + "|" +
                       std::to_string(style));
  }
  std::vector<std::string> messages;
};

TEST(ScanMessageDecodingTest, RecordsAreTakenOnlyWholeAndFromTheScanner) {
  uint8_t data[sizeof(ScanStatus) + 1];
  std::memset(data, 0x11, sizeof(data));
  ScanCommand command;
  EXPECT_FALSE(DecodeScanCommand(data, 3, &command));
  EXPECT_FALSE(DecodeScanCommand(data, sizeof(ScanCommand) + 1, &command));
  ASSERT_TRUE(DecodeScanCommand(data, 4, &command));
  EXPECT_EQ(command.type, 0x11111111u);
  EXPECT_EQ(command.virus_id, 0u) << "what did not come is zero";
  ScanStatus status;
  EXPECT_TRUE(DecodeScanStatus(data, sizeof(ScanStatus), u"IPC_SCAN", &status));
  EXPECT_FALSE(DecodeScanStatus(data, sizeof(ScanStatus) + 1, u"IPC_SCAN", &status));
  EXPECT_FALSE(DecodeScanStatus(data, sizeof(ScanStatus), u"OTHER", &status));
  DetectionRecord record;
  EXPECT_TRUE(DecodeDetectionRecord(data, sizeof(DetectionRecord), u"IPC_SCAN", &record));
  EXPECT_FALSE(DecodeDetectionRecord(data, sizeof(DetectionRecord) - 1, u"IPC_SCAN", &record));
  EXPECT_FALSE(DecodeDetectionRecord(data, sizeof(DetectionRecord), u"ANTIVIRUS", &record));
}

TEST(ScanMessageDecodingTest, AttachAsksForADevicePathOrTheWholeDevice) {
  struct Case {
    std::u16string field;
    std::optional<std::u16string> folder;
  };
  const Case cases[] = {
      {u"", u"\\"},
      {u"\\My Documents", u"\\My Documents"},
      {u"My Documents", std::nullopt},
      {std::u16string(u"\\a\xD800"
                      u"b"),
       std::nullopt},  // an unpaired surrogate
      // A host name with a byte that is no UTF-8, and a second spelling of "\é" that no host
      // name maps to.
      {u"\\bad\xDCFF", u"\\bad\xDCFF"},
      {u"\\\xDCC3\xDCA9", std::nullopt},
      {u"\\" + std::u16string(258, u'x'), u"\\" + std::u16string(258, u'x')},
      {u"\\" + std::u16string(259, u'x'), std::nullopt},  // no room for the terminator
  };
  for (const Case& c : cases) {
    ScanCommand command = MakeScanCommand(kCommandAttach);
    std::memcpy(command.folder, c.field.data(), c.field.size() * 2);
    EXPECT_EQ(AttachFolder(command), c.folder) << platform::Utf16ToUtf8(c.field);
  }
}

TEST(ScanClientTest, WithoutAChannelNothingStartsAndNothingWaits) {
  testing::TestDevice device;
  device.WriteFile(u"\\Temp\\inffile.lst", "keep");
  NoticeObserver observer;
  {
    ScanClient client(nullptr, &observer, [] { return false; });
    ASSERT_FALSE(client.SetUpFailed());
    EXPECT_EQ(client.Start(), ScanStartResult::kNoChannel);
    client.Pause();
    client.Resume();
    client.Stop();
    client.Stop();
    EXPECT_FALSE(client.IsScanning());
    EXPECT_EQ(client.Progress().files_tested, 0u);
  }
  EXPECT_TRUE(observer.messages.empty());
  EXPECT_EQ(device.ReadFile(u"\\Temp\\inffile.lst"), "keep");
}

TEST(ScanClientTest, ClosingTellsThatTheBackgroundScannerGoesOnOnlyWhenItIsOn) {
  testing::TestDevice device;
  for (const bool background : {false, true}) {
    NoticeObserver observer;
    {
      ScanClient client(nullptr, &observer, [background] { return background; });
      client.Quit();  // as the owner does before it destroys the client
    }
    if (background) {
      ASSERT_EQ(observer.messages.size(), 1u);
      EXPECT_EQ(observer.messages[0],
                "Kolvar AV|The background scan option is activated.\nThe background scanner "
                "will (re)start. |64");
    } else {
      EXPECT_TRUE(observer.messages.empty());
    }
  }
}

TEST(ScanClientTest, ResultFileIsReadWithItsRecordsAndDeleted) {
  testing::TestDevice device;
  InfectionList list;
  list.Append(u"\\Fix", u"a.exe", 0, 7, kActionNone);
  list.Append(u"\\Fix\\Sub", u"b.exe", 0, 9, kActionNone);
  ASSERT_TRUE(WriteInfectionRecords(list, u"\\Temp\\inffile.lst"));
  ScanClient client(nullptr, nullptr, nullptr);
  ASSERT_TRUE(client.LoadResultFile());
  const std::vector<InfectionRecord> results = client.Results();
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(std::memcmp(&results[0], &list[0].record, sizeof(InfectionRecord)), 0);
  EXPECT_EQ(std::memcmp(&results[1], &list[1].record, sizeof(InfectionRecord)), 0);
  EXPECT_FALSE(device.Exists(u"\\Temp\\inffile.lst"));
  // No file: nothing was found.
  ASSERT_TRUE(client.LoadResultFile());
  EXPECT_TRUE(client.Results().empty());
}

}  // namespace
}  // namespace kolvar
