// The main program's scan client against a real scanner: an interactive scan with its result
// file taken (and a stale one ignored), pause, resume and stop, background passes with a detection
// answered through the observer, and a scanner that goes away while the client relies on it.
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "antivirus/engine_notices.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/scan_client.h"
#include "tests/bkgscan/scanner_test_support.h"

namespace kolvar {
namespace {

std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

class RecordingObserver : public MainProgramScanObserver {
 public:
  void OnProgress(const ScanProgress& progress) override {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_.push_back(progress);
  }
  void OnPassFinished() override { ++passes; }
  void OnScanComplete(const std::vector<InfectionRecord>& results) override {
    std::lock_guard<std::mutex> lock(mutex_);
    completions_.push_back(results);
    shown_at_completion_.push_back(progress_.empty() ? ScanProgress() : progress_.back());
  }
  void OnScanDoneNotice() override { ++notices; }
  uint8_t OnDetection(const DetectionRecord& detection) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      detections_.push_back(detection);
    }
    return answer;
  }
  void OnScannerGone() override { ++gone; }
  void ShowMessage(std::u16string_view caption, std::u16string_view text, uint32_t style) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(Narrow(caption) + "|" + Narrow(text) + "|" + std::to_string(style));
  }

  size_t ProgressCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_.size();
  }
  std::vector<std::vector<InfectionRecord>> Completions() {
    std::lock_guard<std::mutex> lock(mutex_);
    return completions_;
  }
  // What OnProgress had shown last when each OnScanComplete came, and what it shows last now.
  std::vector<ScanProgress> ShownAtCompletion() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_at_completion_;
  }
  ScanProgress LastShown() {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_.empty() ? ScanProgress() : progress_.back();
  }
  std::vector<DetectionRecord> Detections() {
    std::lock_guard<std::mutex> lock(mutex_);
    return detections_;
  }
  std::vector<std::string> Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }

  std::atomic<int> passes{0};
  std::atomic<int> notices{0};
  std::atomic<int> gone{0};
  std::atomic<uint8_t> answer{kActionNone};

 private:
  std::mutex mutex_;
  std::vector<ScanProgress> progress_;
  std::vector<std::vector<InfectionRecord>> completions_;
  std::vector<ScanProgress> shown_at_completion_;
  std::vector<DetectionRecord> detections_;
  std::vector<std::string> messages_;
};

class ScanClientProcessTest : public ScannerTest {
 protected:
  void Begin(bool background, std::optional<uint32_t> pacing) {
    background_ = background;
    WriteConfiguration(background ? 1 : 0, pacing);
    StartService();
    ConnectAs();
    scanner_ = StartConnectedScanner();
    client_ = std::make_unique<ScanClient>(&channel(), &observer_, [this] { return background_; });
    ASSERT_FALSE(client_->SetUpFailed());
  }

  void PlantBulk(std::u16string_view folder, int count) {
    for (int i = 0; i < count; ++i) {
      device_.WriteFile(
          std::u16string(folder) + u"\\f" + platform::Utf8ToUtf16Lossy(std::to_string(i)) + u".txt",
          CleanBytes(100));
    }
  }

  ~ScanClientProcessTest() override {
    if (client_ != nullptr) client_->Quit();
    client_.reset();
  }

  bool background_ = false;
  RecordingObserver observer_;
  platform::Process scanner_;
  std::unique_ptr<ScanClient> client_;
};

TEST_F(ScanClientProcessTest, InteractiveScanEndsWithTheResultListAndTheFileTaken) {
  device_.WriteFile(u"\\Fix\\a.exe", InfectedBytes(2500, kVirusA));
  device_.WriteFile(u"\\Fix\\b.txt", CleanBytes(999));
  device_.WriteFile(u"\\Fix\\Sub\\e.exe", InfectedBytes(1500, kVirusB));
  device_.WriteFile(u"\\Clean\\c.txt", CleanBytes(100));
  // A result file left over from a scan whose end nobody took.
  device_.WriteFile(kResultFile, std::string(4 + sizeof(InfectionRecord), '\x01'));
  Begin(/*background=*/false, /*pacing=*/0);

  client_->SetScanFolder(u"\\Fix");
  ASSERT_EQ(client_->Start(), ScanStartResult::kStarted);
  EXPECT_TRUE(client_->IsScanning());
  ASSERT_TRUE(WaitUntil([&] { return observer_.Completions().size() == 1; }));
  const std::vector<InfectionRecord> results = observer_.Completions()[0];
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(Narrow(WideField(results[0].file_name)), "a.exe");
  EXPECT_EQ(results[0].virus_id, kVirusA);
  EXPECT_EQ(Narrow(WideField(results[1].folder)), "\\Fix\\Sub");
  EXPECT_EQ(results[1].virus_id, kVirusB);
  EXPECT_EQ(client_->Results().size(), 2u);
  EXPECT_FALSE(device_.Exists(kResultFile));
  EXPECT_TRUE(WaitUntil([&] { return observer_.notices == 1; }));
  // The client stops by itself after the end and shows the last counters.
  EXPECT_TRUE(WaitUntil([&] { return !client_->IsScanning(); }));
  EXPECT_TRUE(WaitUntil([&] {
    const ScanProgress p = client_->Progress();
    return p.folders_entered == 2 && p.files_tested == 3 && p.infected_files == 2;
  }));
  EXPECT_GT(observer_.ProgressCount(), 0u);
  EXPECT_EQ(client_->state(), 1u);

  // Ready for the next scan at once; one that finds nothing has an empty list.
  device_.WriteFile(kResultFile, std::string(4 + sizeof(InfectionRecord), '\x01'));
  client_->SetScanFolder(u"\\Clean");
  ASSERT_EQ(client_->Start(), ScanStartResult::kStarted);
  ASSERT_TRUE(WaitUntil([&] { return observer_.Completions().size() == 2; }));
  EXPECT_TRUE(observer_.Completions()[1].empty());
  EXPECT_EQ(observer_.gone, 0);
}

TEST_F(ScanClientProcessTest, FastScanOfManyFilesEndsWithThePassesOwnCountersShownLast) {
  // Unpaced, the scanner tests files far faster than progress messages can go, so most of them
  // never leave; the end of the pass still shows the scanner's exact totals.
  constexpr int kFiles = 3000;
  PlantBulk(u"\\Many", kFiles - 1);
  device_.WriteFile(u"\\Many\\Sub\\x.exe", InfectedBytes(2500, kVirusA));
  Begin(/*background=*/false, /*pacing=*/0);
  client_->SetScanFolder(u"\\Many");
  ASSERT_EQ(client_->Start(), ScanStartResult::kStarted);
  ASSERT_TRUE(WaitUntil([&] { return observer_.Completions().size() == 1; }, 120));
  client_->Quit();  // nothing may reach the observer after the end

  const auto exact = [&](const ScanProgress& p) {
    return ::testing::AssertionResult(p.folders_entered == 2 && p.files_tested == kFiles &&
                                      p.infected_files == 1 && p.kilobytes_tested == 2 + 2)
           << p.folders_entered << " folders, " << p.files_tested << " files, " << p.infected_files
           << " infected, " << p.kilobytes_tested << " kB";
  };
  ASSERT_EQ(observer_.ShownAtCompletion().size(), 1u);
  EXPECT_TRUE(exact(observer_.ShownAtCompletion()[0]));
  EXPECT_TRUE(exact(observer_.LastShown()));
  EXPECT_TRUE(exact(client_->Progress()));
  ASSERT_EQ(observer_.Completions()[0].size(), 1u);
}

TEST_F(ScanClientProcessTest, PauseResumeAndStopEndTheScanWithoutAResult) {
  device_.WriteFile(u"\\Fix\\x.exe", InfectedBytes(500, kVirusA));
  PlantBulk(u"\\Fix\\Bulk", 200);
  device_.WriteFile(u"\\Small\\s.txt", CleanBytes(100));
  Begin(/*background=*/false, std::nullopt);
  client_->SetScanFolder(u"\\Fix");
  ASSERT_EQ(client_->Start(), ScanStartResult::kStarted);
  ASSERT_TRUE(WaitUntil([&] { return client_->Progress().files_tested >= 5; }));

  client_->Pause();
  EXPECT_FALSE(client_->IsScanning());
  client_->Resume();
  EXPECT_TRUE(client_->IsScanning());
  const uint32_t resumed_at = client_->Progress().files_tested;
  ASSERT_TRUE(WaitUntil([&] { return client_->Progress().files_tested >= resumed_at + 5; }));

  // Stopping a paused scan returns too: the stop ends the pause.
  client_->Pause();
  client_->Stop();
  EXPECT_FALSE(client_->IsScanning());
  EXPECT_EQ(client_->Progress().files_tested, 0u);
  EXPECT_FALSE(WaitUntil([&] { return !observer_.Completions().empty(); }, 1.5));
  EXPECT_FALSE(device_.Exists(kResultFile));

  client_->SetScanFolder(u"\\Small");
  ASSERT_EQ(client_->Start(), ScanStartResult::kStarted);
  ASSERT_TRUE(WaitUntil([&] { return observer_.Completions().size() == 1; }));
  EXPECT_TRUE(observer_.Completions()[0].empty());
}

TEST_F(ScanClientProcessTest, BackgroundPassesAndADetectionAnsweredThroughTheObserver) {
  device_.WriteFile(u"\\Fix\\clean.txt", CleanBytes(100));
  // The scanner finds background scanning on at the attach (another program saved it), so its
  // first pass walks \Fix: one of the whole device would read the installed programs first, for
  // minutes on a busy machine.
  Begin(/*background=*/false, /*pacing=*/0);
  background_ = true;
  WriteConfiguration(1, 0);
  observer_.answer = kActionMove;
  client_->SetScanFolder(u"\\Fix");
  ASSERT_EQ(client_->Start(), ScanStartResult::kStarted);
  ASSERT_TRUE(WaitUntil([&] { return observer_.passes >= 2; }));

  device_.WriteFile(u"\\Fix\\Sub\\x.exe", InfectedBytes(2000, kVirusB));
  ASSERT_TRUE(WaitUntil([&] { return observer_.Detections().size() == 1; }));
  EXPECT_EQ(Narrow(WideField(observer_.Detections()[0].path)), "\\Fix\\Sub\\x.exe");
  EXPECT_EQ(observer_.Detections()[0].virus_id, kVirusB);
  EXPECT_TRUE(WaitUntil([&] {
    return device_.Exists(ProtectedPath(kQuarantine, u"\\Fix\\Sub", u"x.exe")) &&
           !device_.Exists(u"\\Fix\\Sub\\x.exe");
  }));
  const int passes = observer_.passes;
  EXPECT_TRUE(WaitUntil([&] { return observer_.passes > passes; }));
  EXPECT_TRUE(observer_.Completions().empty());

  // Closing while background scanning goes on tells the user that the scanner restarts.
  client_->Stop();
  client_.reset();
  ASSERT_EQ(observer_.Messages().size(), 1u);
  EXPECT_EQ(observer_.Messages()[0],
            "Kolvar AV|" + Narrow(strings::kBackgroundScanningGoesOn) + "|64");
}

TEST_F(ScanClientProcessTest, DetectionThatCameBeforeTheStartIsAskedAgainNotLeftWaiting) {
  // The pass of the whole device that the scanner begins at start-up finds the file while the
  // client is still idle: the status and the record wait on the channel unread.
  device_.WriteFile(u"\\Fix\\x.exe", InfectedBytes(2000, kVirusA));
  Begin(/*background=*/true, /*pacing=*/0);
  observer_.answer = kActionIgnoreAll;
  ASSERT_TRUE(WaitUntil([&] { return channel().HasMessages(); }));
  platform::Sleep(500);  // either way the detection is asked; most often both messages wait

  client_->SetScanFolder(u"\\Fix");
  ASSERT_EQ(client_->Start(), ScanStartResult::kStarted);
  // The question comes again once the pass of the whole device (the installed programs among it)
  // has ended and a pass of \Fix has begun: minutes on a machine that is busy with other work.
  ASSERT_TRUE(WaitUntil([&] { return observer_.Detections().size() == 1; }, 240))
      << "the scanner stayed parked for an answer to a question nobody saw";
  EXPECT_EQ(Narrow(WideField(observer_.Detections()[0].path)), "\\Fix\\x.exe");
  const int passes = observer_.passes;
  EXPECT_TRUE(WaitUntil([&] { return observer_.passes >= passes + 2; }));
  EXPECT_EQ(observer_.Detections().size(), 1u);  // ignore all: never asked again
}

TEST_F(ScanClientProcessTest, ScannerGoingAwayEndsEveryWaitWithAClearReport) {
  PlantBulk(u"\\Fix\\Bulk", 300);
  Begin(/*background=*/false, std::nullopt);
  client_->SetScanFolder(u"\\Fix");
  ASSERT_EQ(client_->Start(), ScanStartResult::kStarted);
  ASSERT_TRUE(WaitUntil([&] { return client_->Progress().files_tested >= 3; }));

  ASSERT_TRUE(scanner_.Terminate());
  ASSERT_TRUE(WaitUntil([&] { return observer_.gone == 1; }));
  EXPECT_FALSE(client_->IsScanning());
  client_->Stop();  // returns: nothing runs any more
  EXPECT_EQ(client_->Start(), ScanStartResult::kScannerAbsent);
  EXPECT_EQ(observer_.gone, 2);
  EXPECT_TRUE(observer_.Completions().empty());
}

}  // namespace
}  // namespace kolvar
