// The scanner on a full disk, with a real scanner and a real disk (a small file system) that is
// full when the scanner quarantines a file or writes the result file: the device's error is told
// and nothing is lost. (The scanner's memory over a large tree is
// measured by bench/scan_memory.)
#include <filesystem>
#include <optional>
#include <string>

#include "platform/path.h"
#include "platform/text.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/scan_engine.h"
#include "tests/bkgscan/scanner_test_support.h"
#include "tests/testing/full_file_system.h"

namespace kolvar {
namespace {

class ScannerResourceTest : public ScannerTest {
 protected:
  void Begin(std::optional<uint32_t> background) {
    WriteConfiguration(background, /*pacing=*/0);
    StartService();
    ConnectAs();
  }

  const std::string bytes_ = InfectedBytes(256 * 1024, kVirusA);
  std::optional<testing::FullFileSystem> disk_;  // detached before the device goes
  platform::Process scanner_;
};

// With background scanning on, a detection answered with "move to the repository" while the
// quarantine folder's disk has room for nothing, or for a copy of the file but not for its
// protected copy too: the move is told as failed with the device's error, the file stays whole at
// home, and nothing of it is left in the quarantine folder.
class QuarantineOnAFullDiskTest : public ScannerResourceTest,
                                  public ::testing::WithParamInterface<uint64_t> {};

TEST_P(QuarantineOnAFullDiskTest, TellsTheErrorAndLeavesTheFileWholeAtHome) {
  disk_.emplace(device_.Host(kQuarantine), 4 << 20);
  if (!disk_->usable()) GTEST_SKIP() << "mounting a small file system needs the right to mount";
  disk_->Fill(GetParam());
  Begin(/*background=*/1);
  device_.WriteFile(u"\\Fix\\x.exe", bytes_);
  // The first background pass walks the whole device; the user interface is there, so the
  // detection comes as a type 25 and the record.
  scanner_ = StartConnectedScanner();
  std::optional<Message> detection;
  ASSERT_TRUE(WaitUntil(
      [&] {
        detection = Next(1);
        return detection && detection->IsDetection();
      },
      300));
  Send(MakeActionCommand(kVirusA, kActionMove));
  EXPECT_TRUE(WaitForBox(ScannerBox(
      FormatText(kMoveFailedMessage, {u"\\Fix\\x.exe", u"error 112: the disk is full"}))));
  // The scanner tries again after every pass; it ends first, so that no attempt is under way.
  platform::Event stop;
  ASSERT_TRUE(stop.Open(kScannerEventName) && stop.Set());
  EXPECT_EQ(ExitCodeWithin(scanner_), 0u);
  for (const std::string& box : Boxes()) {
    EXPECT_NE(box.find("(error 112: the disk is full)"), std::string::npos)
        << "a failure told without the disk's error";
  }
  EXPECT_TRUE(device_.ReadFile(u"\\Fix\\x.exe") == bytes_);
  for (const auto& entry : std::filesystem::directory_iterator(device_.Host(kQuarantine))) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.rfind(".filler", 0), 0u) << name << " was left in the quarantine folder";
  }
}

INSTANTIATE_TEST_SUITE_P(FreeSpace, QuarantineOnAFullDiskTest,
                         ::testing::Values(16 * 1024, 256 * 1024 + 16 * 1024));

TEST_F(ScannerResourceTest, ResultFileOnAFullDiskIsToldAndTheScanStillCompletes) {
  disk_.emplace(device_.Host(u"\\Temp"), 1 << 20);
  if (!disk_->usable()) GTEST_SKIP() << "mounting a small file system needs the right to mount";
  disk_->Fill(0);
  Begin(/*background=*/0);
  device_.WriteFile(u"\\Fix\\x.exe", InfectedBytes(2000, kVirusA));
  scanner_ = StartConnectedScanner();
  ASSERT_TRUE(Attach(u"\\Fix").has_value());
  Send(MakeScanCommand(kCommandStart));
  ASSERT_TRUE(NextStatusOfType(kMessageScanComplete).has_value());
  EXPECT_TRUE(WaitForBox(ScannerBox(kErrorCreatingFileMessage, 0)));
  EXPECT_FALSE(device_.Exists(kResultFile));
  EXPECT_FALSE(device_.Exists(std::u16string(kResultFile) + u".new")) << "a partial file was left";
  EXPECT_TRUE(device_.Exists(u"\\Fix\\x.exe"));
  EXPECT_TRUE(scanner_.IsAlive());
}

}  // namespace
}  // namespace kolvar
