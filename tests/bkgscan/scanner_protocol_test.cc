// The scan protocol spoken byte by byte with a real scanner: the attach reply, an interactive pass
// with its progress, completion and result file, pause and resume, stop, a restart by type 16, the
// attached folder as the root of background passes, a configuration saved by another program,
// and a paced scan of 2,000 files read slowly that still delivers everything that must arrive.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/config_keys.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "scan_engine/scan_channel.h"
#include "tests/bkgscan/scanner_test_support.h"

namespace kolvar {
namespace {

std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

class ScannerProtocolTest : public ScannerTest {
 protected:
  // A folder of `count` clean files of 100 bytes.
  void PlantBulk(std::u16string_view folder, int count) {
    for (int i = 0; i < count; ++i) {
      device_.WriteFile(
          std::u16string(folder) + u"\\f" + platform::Utf8ToUtf16Lossy(std::to_string(i)) + u".txt",
          CleanBytes(100));
    }
  }

  // Starts the service, connects as the main program, starts the scanner and attaches.
  void Begin(std::u16string_view folder) {
    StartService();
    ConnectAs();
    scanner_ = StartConnectedScanner();
    ASSERT_TRUE(Attach(folder).has_value());
  }

  // Progress records until one satisfies `stop_at` (included).
  std::vector<ScanStatus> ProgressUntil(const std::function<bool(const ScanStatus&)>& stop_at) {
    std::vector<ScanStatus> seen;
    for (;;) {
      std::optional<Message> message = Next(60);
      if (!message) {
        ADD_FAILURE() << "no progress";
        return seen;
      }
      if (message->StatusType() != kMessageProgress) continue;
      seen.push_back(message->status());
      if (stop_at(seen.back())) return seen;
    }
  }

  platform::Process scanner_;
};

TEST_F(ScannerProtocolTest,
       InteractivePassReportsItsItemsThenCompletesWithItsCountersAndTheResultFile) {
  WriteConfiguration(/*background=*/0, /*pacing=*/0);
  device_.WriteFile(u"\\Fix\\a.exe", InfectedBytes(2500, kVirusA));
  device_.WriteFile(u"\\Fix\\b.txt", CleanBytes(999));
  device_.WriteFile(u"\\Fix\\c.dat", CleanBytes(1000));
  device_.WriteFile(u"\\Fix\\Sub1\\d.exe", "");
  device_.WriteFile(u"\\Fix\\Sub1\\e.exe", InfectedBytes(1500, kVirusB));
  device_.WriteFile(u"\\Fix\\Sub2\\Deeper\\f.bin", CleanBytes(3000));
  StartService();
  ConnectAs();
  platform::Process scanner = StartConnectedScanner();

  ScanCommand attach = MakeAttachCommand(u"\\Fix");
  attach.virus_id = 0x1234;
  attach.action = 5;
  Send(attach);
  std::optional<Message> reply;
  ASSERT_TRUE(WaitUntil([&] {
    reply = Next(1);
    return reply && reply->IsCommand();
  }));
  EXPECT_EQ(reply->sender, u"IPC_SCAN");
  ScanCommand echoed = attach;
  echoed.type = kCommandAttachReply;
  echoed.action = 0;
  EXPECT_EQ(reply->data, std::string(reinterpret_cast<const char*>(&echoed), sizeof(echoed)));

  Send(MakeScanCommand(kCommandStart));
  std::vector<ScanStatus> progress;
  std::optional<ScanStatus> end = NextStatusOfType(kMessageScanComplete, &progress);
  ASSERT_TRUE(end.has_value());
  Send(MakeScanCommand(kCommandStop));

  // One message per folder (4), per file (6) and per infection (2), in walk order; only the
  // newest waits to go out, so those sent while another waited were replaced. The first one
  // never waits behind another.
  ASSERT_FALSE(progress.empty());
  ASSERT_LE(progress.size(), 12u);
  for (size_t i = 0; i < progress.size(); ++i) {
    const ScanStatus& status = progress[i];
    EXPECT_EQ(status.type, kMessageProgress);
    EXPECT_EQ(status.state, 1u);
    EXPECT_EQ(Narrow(WideField(status.current_folder)).rfind("\\Fix", 0), 0u);
    if (i == 0) continue;
    const ScanStatus& before = progress[i - 1];
    EXPECT_GT(status.folders_entered + status.files_tested + status.infected_files,
              before.folders_entered + before.files_tested + before.infected_files);
  }
  EXPECT_EQ(Narrow(WideField(progress.front().current_folder)), "\\Fix");
  EXPECT_EQ(WideField(progress.front().current_item).size(), 0u);
  // The end carries the pass's own counters, whatever progress got through.
  ScanStatus expected_end = ZeroRecord<ScanStatus>();
  expected_end.folders_entered = 4;
  expected_end.files_tested = 6;
  expected_end.infected_files = 2;
  expected_end.kilobytes_tested = 10;  // a.exe 2+2, c.dat 1, e.exe 1+1, f.bin 3
  expected_end.state = 1;
  expected_end.type = kMessageScanComplete;
  EXPECT_EQ(std::memcmp(&*end, &expected_end, sizeof(expected_end)), 0)
      << end->folders_entered << " folders, " << end->files_tested << " files, "
      << end->infected_files << " infected, " << end->kilobytes_tested << " kB";

  uint32_t declared = 0;
  const std::vector<InfectionRecord> records = ResultRecords(&declared);
  ASSERT_EQ(declared, 2u);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].sequence, 0u);
  EXPECT_EQ(Narrow(WideField(records[0].folder)), "\\Fix");
  EXPECT_EQ(Narrow(WideField(records[0].file_name)), "a.exe");
  EXPECT_EQ(records[0].virus_id, kVirusA);
  EXPECT_EQ(records[1].sequence, 1u);
  EXPECT_EQ(Narrow(WideField(records[1].folder)), "\\Fix\\Sub1");
  EXPECT_EQ(Narrow(WideField(records[1].file_name)), "e.exe");
  EXPECT_EQ(records[1].virus_id, kVirusB);
  for (const InfectionRecord& record : records) {
    EXPECT_EQ(record.action, kActionNone);
    EXPECT_EQ(record.done, 0);
  }
  EXPECT_TRUE(scanner.IsAlive());
}

TEST_F(ScannerProtocolTest, PauseHoldsProgressUntilResume) {
  WriteConfiguration(0, std::nullopt);  // the device's pacing
  PlantBulk(u"\\Fix\\Bulk", 150);
  Begin(u"\\Fix");
  Send(MakeScanCommand(kCommandStart));
  std::vector<ScanStatus> before =
      ProgressUntil([](const ScanStatus& s) { return s.files_tested >= 10; });

  Send(MakeScanCommand(kCommandPause));
  // The reply to an attach follows everything the scanner sent before it took the pause.
  std::vector<ScanStatus> drained;
  Send(MakeAttachCommand(u"\\Fix"));
  for (;;) {
    std::optional<Message> message = Next(60);
    ASSERT_TRUE(message.has_value());
    if (message->IsCommand() && message->command().type == kCommandAttachReply) break;
    if (message->StatusType() == kMessageProgress) drained.push_back(message->status());
  }
  const uint32_t paused_at =
      drained.empty() ? before.back().files_tested : drained.back().files_tested;
  EXPECT_TRUE(QuietFor(1.5)) << "progress arrived while paused";

  Send(MakeScanCommand(kCommandResume));
  std::vector<ScanStatus> after;
  ASSERT_TRUE(NextStatusOfType(kMessageScanComplete, &after).has_value());
  ASSERT_FALSE(after.empty());
  EXPECT_GE(after.front().files_tested, paused_at);
  for (size_t i = 1; i < after.size(); ++i) {
    EXPECT_GE(after[i].files_tested, after[i - 1].files_tested);
  }
  EXPECT_LE(after.back().files_tested, 150u);
}

TEST_F(ScannerProtocolTest, StopDuringPassSendsNothingMoreAndLeavesNoResultFile) {
  WriteConfiguration(0, std::nullopt);
  device_.WriteFile(u"\\Fix\\x1.exe", InfectedBytes(500, kVirusA));
  device_.WriteFile(u"\\Fix\\x2.exe", InfectedBytes(500, kVirusB));
  PlantBulk(u"\\Fix\\Bulk", 150);
  Begin(u"\\Fix");
  Send(MakeScanCommand(kCommandStart));
  // Files come before subfolders: both infections are recorded before the bulk begins.
  ProgressUntil([](const ScanStatus& s) { return s.infected_files == 2 && s.files_tested >= 4; });

  Send(MakeScanCommand(kCommandStop));
  std::vector<ScanStatus> drained;
  Send(MakeAttachCommand(u"\\Fix"));
  for (;;) {
    std::optional<Message> message = Next(60);
    ASSERT_TRUE(message.has_value());
    if (message->IsCommand() && message->command().type == kCommandAttachReply) break;
    EXPECT_NE(message->StatusType(), kMessageScanComplete);
  }
  EXPECT_TRUE(QuietFor(1.5)) << "the stopped scan went on sending";
  EXPECT_FALSE(device_.Exists(kResultFile));
}

TEST_F(ScannerProtocolTest, StartDuringPassRestartsFromTheRootWithZeroCounters) {
  WriteConfiguration(0, std::nullopt);
  device_.WriteFile(u"\\Fix\\a.txt", CleanBytes(10));
  device_.WriteFile(u"\\Fix\\b.txt", CleanBytes(10));
  PlantBulk(u"\\Fix\\Bulk", 120);
  Begin(u"\\Fix");
  Send(MakeScanCommand(kCommandStart));
  const std::vector<ScanStatus> first =
      ProgressUntil([](const ScanStatus& s) { return s.files_tested >= 50; });

  Send(MakeScanCommand(kCommandStart));
  std::vector<ScanStatus> rest;
  ASSERT_TRUE(NextStatusOfType(kMessageScanComplete, &rest).has_value());
  // The new pass shows itself by counters that begin again; its first messages may have been
  // dropped while the queue still held the old pass's, but never all of its early ones.
  auto restart = std::find_if(rest.begin(), rest.end(),
                              [](const ScanStatus& s) { return s.files_tested < 20; });
  ASSERT_NE(restart, rest.end()) << "no progress of a new pass";
  EXPECT_EQ(Narrow(WideField(restart->current_folder)).rfind("\\Fix", 0), 0u);
  EXPECT_LE(restart->folders_entered, 2u);
  for (auto it = restart + 1; it != rest.end(); ++it) {
    EXPECT_GE(it->files_tested, (it - 1)->files_tested);
    EXPECT_LE(it->files_tested, 122u);
  }
  Send(MakeScanCommand(kCommandStop));
  EXPECT_TRUE(QuietFor(1.0)) << "a second completion or pass followed";
}

TEST_F(ScannerProtocolTest, AttachedFolderStaysTheRootOfLaterBackgroundPasses) {
  WriteConfiguration(/*background=*/1, /*pacing=*/0);
  device_.WriteFile(u"\\Fix\\clean.txt", CleanBytes(100));
  device_.WriteFile(u"\\Outside\\a.exe", InfectedBytes(500, kVirusA));
  StartService();
  ConnectAs();
  platform::Process scanner = StartConnectedScanner();
  // The pass that began at start-up walks the whole device and may report \Outside\a.exe; it
  // is answered with no action, so any later walk of the whole device would report it again.
  ScanCommand attach = MakeAttachCommand(u"\\Fix");
  Send(attach);
  int passes = 0;
  while (passes < 2) {
    std::optional<Message> message = Next(60);
    ASSERT_TRUE(message.has_value());
    if (message->IsStatus()) {
      const ScanStatus status = message->status();
      if (status.type == kMessagePassFinished) ++passes;
      if (status.type == kMessageProgress && passes > 0) {
        EXPECT_EQ(Narrow(WideField(status.current_folder)).rfind("\\Fix", 0), 0u);
      }
    }
    if (message->IsDetection()) {
      // A pass of the whole device that began before the attach may still report \Outside.
      const ScanCommand answer = MakeActionCommand(message->detection().virus_id, kActionNone);
      EXPECT_EQ(passes, 0);
      Send(answer);
    }
  }
  Send(MakeScanCommand(kCommandDetach));
  device_.WriteFile(u"\\Fix\\b.exe", InfectedBytes(500, kVirusB));
  auto next_detection = [&]() -> std::optional<DetectionRecord> {
    for (;;) {
      std::optional<Message> message = Next(120);
      if (!message) return std::nullopt;
      if (message->IsDetection()) return message->detection();
    }
  };
  std::optional<DetectionRecord> first = next_detection();
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(Narrow(WideField(first->path)), "\\Fix\\b.exe");
  Send(MakeActionCommand(first->virus_id, kActionIgnoreAll));
  device_.WriteFile(u"\\Fix\\c.exe", InfectedBytes(500, kVirusA));
  std::optional<DetectionRecord> second = next_detection();
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(Narrow(WideField(second->path)), "\\Fix\\c.exe");
  Send(MakeActionCommand(second->virus_id, kActionIgnoreAll));
}

TEST_F(ScannerProtocolTest, ConfigurationSavedByAnotherProgramIsReadAgainOnAttach) {
  WriteConfiguration(/*background=*/0, /*pacing=*/0);
  device_.WriteFile(u"\\Fix\\clean.txt", CleanBytes(100));
  Begin(u"\\Fix");
  EXPECT_TRUE(QuietFor(1.0)) << "a scan began without type 16 while background scanning is off";

  WriteConfiguration(/*background=*/1, /*pacing=*/0);
  ASSERT_TRUE(Attach(u"\\Fix").has_value());
  // Background scanning now runs by itself: passes over the attached folder, each followed by 24.
  std::vector<ScanStatus> progress;
  ASSERT_TRUE(NextStatusOfType(kMessagePassFinished, &progress).has_value());
  ASSERT_TRUE(NextStatusOfType(kMessagePassFinished, &progress).has_value());
  EXPECT_FALSE(progress.empty());
}

TEST_F(ScannerProtocolTest, UnknownAndOversizedMessagesHoldNoCommandUp) {
  WriteConfiguration(0, 0);
  device_.WriteFile(u"\\Fix\\clean.txt", CleanBytes(100));
  StartService();
  ConnectAs();
  platform::Process scanner = StartConnectedScanner();
  // An unknown type goes back into the scanner's queue; a message longer than a command is
  // refused whole. Neither keeps the commands behind them from being carried out.
  Send(MakeScanCommand(99));
  const ScanCommand elsewhere = MakeAttachCommand(u"\\Elsewhere");
  std::string oversized(reinterpret_cast<const char*>(&elsewhere), sizeof(elsewhere));
  oversized.push_back('\0');  // an attach if it were cut to a command's size
  ASSERT_TRUE(SendScanMessage(channel(), kScannerChannel, oversized.data(),
                              static_cast<uint32_t>(oversized.size()), SendPolicy::kMustArrive,
                              nullptr));
  std::optional<ScanCommand> reply = Attach(u"\\Fix");
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(Narrow(WideField(reply->folder)), "\\Fix");
  Send(MakeScanCommand(kCommandStart));
  ASSERT_TRUE(NextStatusOfType(kMessageScanComplete).has_value());
  EXPECT_TRUE(QuietFor(1.0)) << "only one reply and one completion were due";
  EXPECT_TRUE(scanner.IsAlive());
}

TEST_F(ScannerProtocolTest, PacedScanOfTwoThousandFilesReadSlowlyLosesNothingThatMustArrive) {
  WriteConfiguration(0, std::nullopt);
  constexpr int kFolders = 20;
  constexpr int kPerFolder = 100;
  for (int f = 0; f < kFolders; ++f) {
    const std::u16string folder = u"\\Fix\\D" + platform::Utf8ToUtf16Lossy(std::to_string(f));
    for (int i = 0; i < kPerFolder; ++i) {
      const std::u16string name =
          folder + u"\\f" + platform::Utf8ToUtf16Lossy(std::to_string(i)) + u".exe";
      device_.WriteFile(
          name, i == 7 ? InfectedBytes(300, f % 2 == 0 ? kVirusA : kVirusB) : CleanBytes(300));
    }
  }
  Begin(u"\\Fix");
  Send(MakeScanCommand(kCommandStart));
  // Much slower than the scanner sends: the queues fill and progress is dropped.
  size_t progress = 0;
  std::optional<ScanStatus> end;
  while (!end) {
    std::optional<Message> message = Next(180);
    ASSERT_TRUE(message.has_value()) << "the scan's end never arrived";
    if (message->StatusType() == kMessageProgress) ++progress;
    if (message->StatusType() == kMessageScanComplete) end = message->status();
    platform::Sleep(40);
  }
  EXPECT_GT(progress, 0u);
  RecordProperty("progress_received", static_cast<int>(progress));
  uint32_t declared = 0;
  const std::vector<InfectionRecord> records = ResultRecords(&declared);
  ASSERT_EQ(declared, static_cast<uint32_t>(kFolders));
  ASSERT_EQ(records.size(), static_cast<size_t>(kFolders));
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].sequence, i);
    EXPECT_EQ(Narrow(WideField(records[i].file_name)), "f7.exe");
  }
  Send(MakeScanCommand(kCommandStop));
}

}  // namespace
}  // namespace kolvar
